#include "CliMain.h"
#include "InterruptRelay.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// SIGINT and SIGTERM are taken by one thread that waits for them and stops the work under
// way, so that a copy can keep its map and a save its report; blocked everywhere else.
void RelayInterrupts(const std::shared_ptr<twl::cli::InterruptRelay>& relay) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals, relay] {
        for (;;) {
            int signal = 0;
            if (sigwait(&signals, &signal) != 0)
                continue;
            if (!relay->Interrupt(signal))
                _exit(128 + signal);
            constexpr char kNote[] = "\ntwl: stopping where it is safe; interrupt again to end "
                                     "at once\n";
            [[maybe_unused]] const ssize_t wrote = ::write(STDERR_FILENO, kNote, sizeof kNote - 1);
        }
    }).detach();
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const auto relay = std::make_shared<twl::cli::InterruptRelay>();
    RelayInterrupts(relay);
    std::vector<std::string> words(argv + 1, argv + argc);
    const char* drives = std::getenv("TWL_DRIVES");
    twl::cli::CliContext context{std::cout, std::cerr, &std::cin, {}, ::isatty(STDERR_FILENO) == 1,
                                 {}};
    if (drives != nullptr)
        context.twlDrives = drives;
    context.interrupts = relay.get();
    int status = twl::cli::CliMain(words, context);
    std::cout.flush();
    if (const int signal = relay->Signal(); signal != 0) {
        std::cerr << "twl: stopped by " << (signal == SIGINT ? "an interrupt (Ctrl-C)" : "SIGTERM")
                  << '\n';
        status = 128 + signal;
    }
    return status;
}
