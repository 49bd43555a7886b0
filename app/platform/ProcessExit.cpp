#include "platform/ProcessExit.h"

#include "library/App.h"

#include <atomic>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <thread>

namespace quillet {
namespace {

std::atomic<bool> exiting { false };
std::thread::id mainThread;

void saveLibraryAtExit()
{
    exiting = true;
    App* app = App::sharedIfCreated();
    if (!app)
        return; // the application ended as after Quit, which wrote the library
    if (std::this_thread::get_id() != mainThread)
        return; // the library belongs to the main thread, which may be changing it
    try {
        app->saveIfPending();
    } catch (const std::exception& error) {
        std::cerr << "quillet-app: the library could not be written at exit: " << error.what() << '\n';
    } catch (...) {
        std::cerr << "quillet-app: the library could not be written at exit\n";
    }
}

} // namespace

bool processIsExiting() noexcept
{
    return exiting.load();
}

void saveLibraryWhenProcessExits()
{
    static std::atomic<bool> registered { false };
    // Registered once the library is open: handlers run in the reverse order of their
    // registration, so this one runs before the library's own static storage and what the
    // load made goes away.
    if (registered.exchange(true))
        return;
    mainThread = std::this_thread::get_id();
    std::atexit(saveLibraryAtExit);
}

} // namespace quillet
