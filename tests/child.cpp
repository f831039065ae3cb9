#include "tests/child.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <stdexcept>

namespace {

std::array<int, 2> make_pipe() {
    std::array<int, 2> ends{};
    if (pipe2(ends.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    return ends;
}

// Reads what is there now from `fd` into `into`; false at end of stream.
bool drain(int fd, std::string& into) {
    std::array<char, 4096> chunk{};
    const ssize_t n = read(fd, chunk.data(), chunk.size());
    if (n <= 0) return false;
    into.append(chunk.data(), static_cast<std::size_t>(n));
    return true;
}

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The array of C strings that exec takes, pointing into `strings`.
std::vector<char*> null_terminated(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    std::transform(strings.begin(), strings.end(), std::back_inserter(pointers),
                   [](std::string& s) { return s.data(); });
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

Child start(const Launch& launch) {
    const auto in = make_pipe();
    const auto out = make_pipe();
    const auto err = make_pipe();

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), launch.env.begin(), launch.env.end());
    std::vector<char*> envp = null_terminated(env);
    std::vector<std::string> args = launch.command;
    std::vector<char*> argv = null_terminated(args);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        int input = in[0];
        if (launch.stdin_at_end) input = open("/dev/null", O_RDONLY);
        int output = out[1];
        if (!launch.stdout_file.empty()) output = open(launch.stdout_file.c_str(), O_WRONLY);
        if (input < 0 || output < 0 || chdir(launch.folder.c_str()) != 0) _exit(126);
        dup2(input, 0);
        dup2(output, 1);
        dup2(err[1], 2);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    return Child{pid, in[1], in[0], out[0], err[0], "", ""};
}

void read_output(Child& child, std::size_t bytes, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (child.output >= 0 && child.out.size() < bytes) {
        pollfd p{child.output, POLLIN, 0};
        if (poll(&p, 1, remaining_ms(deadline)) <= 0) return;
        if (!drain(child.output, child.out)) {
            close(child.output);
            child.output = -1;
        }
    }
}

void send(Child& child, const std::string& text) {
    if (write(child.input, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        throw std::runtime_error("write to the program's input");
    }
}

void close_input(Child& child) {
    if (child.input >= 0) close(child.input);
    child.input = -1;
}

int finish(Child& child, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(child.pid, &status, WNOHANG)) == 0 && remaining_ms(deadline) > 0) {
        // Keep the pipes flowing so a chatty program cannot block on a full pipe.
        std::array<pollfd, 2> p{pollfd{child.output, POLLIN, 0}, pollfd{child.errors, POLLIN, 0}};
        poll(p.data(), p.size(), 10);
        if (child.output >= 0 && (p[0].revents & (POLLIN | POLLHUP)) &&
            !drain(child.output, child.out)) {
            close(child.output);
            child.output = -1;
        }
        if (child.errors >= 0 && (p[1].revents & (POLLIN | POLLHUP)) &&
            !drain(child.errors, child.err)) {
            close(child.errors);
            child.errors = -1;
        }
    }
    if (done == 0) {
        kill(child.pid, SIGKILL);
        waitpid(child.pid, &status, 0);
    }
    while (child.output >= 0 && drain(child.output, child.out)) {
    }
    while (child.errors >= 0 && drain(child.errors, child.err)) {
    }
    if (child.output >= 0) close(child.output);
    if (child.errors >= 0) close(child.errors);
    child.output = child.errors = -1;
    if (done == 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string unread_input(Child& child) {
    close_input(child);
    std::string left;
    while (drain(child.input_peek, left)) {
    }
    close(child.input_peek);
    child.input_peek = -1;
    return left;
}

std::string scratch_folder() {
    std::string path = "/tmp/nsuica-run-XXXXXX";
    if (mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp");
    return path;
}

void write_file(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot write " + path);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}
