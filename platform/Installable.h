#pragma once

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace korvane {

// A platform singleton (the run loop, the port manager, the log) that a program installs once in
// main and a test installs for its own scope. Scopes nest; leaving one restores the previous.
template <typename T>
class Installable {
public:
    static bool isInstalled() { return installed_ != nullptr; }

    static T& current() {
        if (installed_ == nullptr) {
            std::fputs("korvane: a platform singleton was used before it was installed\n", stderr);
            std::abort();
        }
        return *installed_;
    }

    class Scope {
    public:
        explicit Scope(T& instance) : previous_(std::exchange(installed_, &instance)) {}
        ~Scope() { installed_ = previous_; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        T* previous_;
    };

protected:
    Installable() = default;
    ~Installable() = default;

private:
    static inline T* installed_ = nullptr;
};

}  // namespace korvane
