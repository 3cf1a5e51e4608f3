// A program run as a separate process, as a user or script would start it.
#ifndef TVKDMPST_TESTS_PROCESS_POSIX_H
#define TVKDMPST_TESTS_PROCESS_POSIX_H

#include "test_files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

struct Outcome {
    int exit_code = -1; // -1 when the program did not exit normally
    std::string output; // all it printed, standard output and error
};

// Runs program with args and exactly the environment env in the folder dir,
// and waits for it. What it prints passes through output_file.
inline Outcome run_process(const std::string &program, const std::vector<std::string> &args,
                           const std::vector<std::string> &env, const std::string &dir,
                           const std::string &output_file)
{
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char *> argv = {const_cast<char *>(program.c_str())};
        for (const std::string &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        std::vector<char *> envp;
        for (const std::string &entry : env)
            envp.push_back(const_cast<char *>(entry.c_str()));
        envp.push_back(nullptr);
        const int out = open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 || chdir(dir.c_str()) != 0)
            _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(126);
    }
    Outcome result;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    result.output = read_file(output_file);
    std::remove(output_file.c_str());
    return result;
}

#endif
