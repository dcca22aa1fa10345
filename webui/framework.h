#pragma once
// The framework functions every page can call (createWindow … checkStartupList),
// bound by each window at its creation with itself as the binding window.

#include <QString>
#include <vector>

namespace webui {

class BaseBlkWinow;

struct FunctionSpec {
    const char* name;
    int declaredCount;
};
// Every framework function with its declared argument count.
const std::vector<FunctionSpec>& frameworkFunctions();

// Binds them all (process-wide); the window is the one the window-making and
// tray functions act for.
void bindFrameworkFunctions(BaseBlkWinow* bindingWindow);
void bindWindowFunctions(BaseBlkWinow* bindingWindow);
void bindSystemFunctions();

// The text of baseSystemInfo for a selector.
QString baseSystemInfo(int selector);

// The longest url createWindow accepts, in bytes.
constexpr int kMaxCreateWindowUrl = 1024;

}  // namespace webui
