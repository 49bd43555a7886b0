#include "platform/ProcessExit.h"

#include <atomic>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <thread>

namespace quillet {
namespace {

std::atomic<bool> exiting { false };
std::thread::id mainThread;
// Made once and never destroyed: it runs while static storage is being torn down.
std::function<void()>* exitAction = nullptr;

void runExitAction()
{
    exiting = true;
    if (!exitAction || std::this_thread::get_id() != mainThread)
        return; // what the action touches belongs to the main thread, which may be changing it
    try {
        (*exitAction)();
    } catch (const std::exception& error) {
        std::cerr << "quillet-app: at exit: " << error.what() << '\n';
    } catch (...) {
        std::cerr << "quillet-app: at exit: an unknown error\n";
    }
}

} // namespace

void exitForLackOfThread(const char* what, const std::system_error& error)
{
    std::cerr << "quillet-app: no thread could be started for " << what << " (" << error.code().message()
              << "): the system gives Quillet too little memory or too few threads\n";
    std::exit(1);
}

bool processIsExiting() noexcept
{
    return exiting.load();
}

void runWhenProcessExits(std::function<void()> action)
{
    static std::atomic<bool> registered { false };
    // Handlers run in the reverse order of their registration, so this one runs before the
    // static storage made until now goes away.
    if (registered.exchange(true))
        return;
    mainThread = std::this_thread::get_id();
    exitAction = new std::function<void()>(std::move(action));
    std::atexit(runExitAction);
}

} // namespace quillet
