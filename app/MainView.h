#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Property.h"

namespace korvane {

// An alert's answer: the first button gives 1000, the second 1001.
using AlertCompletion = std::function<void(int response)>;
inline constexpr int kAlertFirstButtonReturn = 1000;
// The file the user chose, or none.
using OpenPanelCompletion = std::function<void(std::optional<std::string> path)>;

// The window as the controller sees it. The window observes the controller's properties and
// calls its actions; the controller reaches the window only through this.
class MainView {
public:
    // A property's setter was called; the window reads the property again.
    virtual void propertyChanged(Property property) = 0;
    // Returns at once; the completion runs later, once, when a button was pressed.
    virtual void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                           AlertCompletion completion) = 0;
    // Lets the user choose a file of the given type; returns at once.
    virtual void runOpenPanel(const std::string& fileType, OpenPanelCompletion completion) = 0;
    virtual void stopApplication() = 0;

protected:
    ~MainView() = default;
};

}  // namespace korvane
