#include "app/cli/Conversation.h"

#include <iostream>

#include "app/AccessHint.h"
#include "app/cli/ConsoleSession.h"
#include "platform/ORSSerialPortManager.h"

namespace korvane {

int converse(ConsoleSession& session, std::function<void()> ready, std::function<void()> next,
             std::function<bool(const std::string&)> onAlert) {
    bool started = false;
    return session.run([&session] { session.control().onConnect(); },
                       [&] {
                           MainViewControl& control = session.control();
                           for (const std::string& alert : session.takeAlerts()) {
                               if (!onAlert || !onAlert(alert)) {
                                   std::cerr << alert << '\n';
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
                               std::cerr << control.connectStatus() << '\n';
                               if (const std::string hint =
                                       accessHint(ORSSerialPortManager::sharedSerialPortManager());
                                   !hint.empty()) {
                                   std::cerr << hint << '\n';
                               }
                               session.finish(kFailure);
                           }
                       });
}

}  // namespace korvane
