#include "app/cli/Conversation.h"

#include <ostream>

#include "app/cli/ConsoleSession.h"

namespace korvane {

void converse(ConsoleSession& session, std::function<void()> ready, std::function<void()> next,
              std::function<bool(const std::string&)> onAlert) {
    session.begin([&session] { session.connect(); },
                  [&session, ready = std::move(ready), next = std::move(next),
                   onAlert = std::move(onAlert), started = false]() mutable {
                      MainViewControl& control = session.control();
                      for (const std::string& alert : session.takeAlerts()) {
                          if (!onAlert || !onAlert(alert)) {
                              session.err() << alert << '\n';
                              session.finish(kFailure);
                          }
                          if (session.finished()) {
                              return;
                          }
                      }
                      if (started) {
                          next();
                      } else if (control.isConnected() && control.isEnabled()) {
                          started = true;
                          ready();
                      } else if (control.canConnect()) {
                          session.err() << control.connectStatus() << '\n';
                          if (!control.connectDetail().empty()) {
                              session.err() << control.connectDetail() << '\n';
                          }
                          session.finish(kFailure);
                      }
                  });
}

}  // namespace korvane
