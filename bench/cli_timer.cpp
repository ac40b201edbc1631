// Times a command as a whole process: `cli_timer RUNS COMMAND [ARGS...]` runs it RUNS
// times with its output sent to /dev/null and prints the median wall time and the median
// CPU time (user + system, from the kernel's account of the child) in milliseconds:
//   <wall ms> <cpu ms> <exit status of the last run>
// CPU time is what the command itself spent, whatever else the machine is doing.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: cli_timer RUNS COMMAND [ARGS...]\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    std::vector<double> wall, cpu;
    int lastStatus = 0;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execvp(argv[2], argv + 2);
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        const auto t1 = std::chrono::steady_clock::now();
        lastStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        wall.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        cpu.push_back((usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                      (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%.2f %.2f %d\n", wall[wall.size() / 2], cpu[cpu.size() / 2], lastStatus);
    return 0;
}
