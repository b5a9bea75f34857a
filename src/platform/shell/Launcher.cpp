#include "Launcher.h"

namespace platform {

namespace {
std::unique_ptr<Launcher>& current()
{
    static std::unique_ptr<Launcher> l = std::make_unique<RecordingLauncher>();
    return l;
}
} // namespace

Launcher& launcher() { return *current(); }

std::unique_ptr<Launcher> setLauncher(std::unique_ptr<Launcher> l)
{
    std::unique_ptr<Launcher> old = std::move(current());
    current() = l ? std::move(l) : std::make_unique<RecordingLauncher>();
    return old;
}

} // namespace platform
