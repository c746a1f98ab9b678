#pragma once

#include <QString>

#include <cstdio>
#include <optional>

// Where a password comes from, in this order: --password-file FILE (or "-": standard input),
// else the environment variable CORVANE_PASSWORD (set, even empty), else a prompt without
// echo when standard input is a terminal. A password never comes from the command line,
// where every user of the host can read it.
struct PasswordRequest
{
    std::optional<QString> file; // the --password-file value
};

struct PasswordResult
{
    std::optional<QString> password;
    QString error; // why there is none
};

inline constexpr char kPasswordVariable[] = "CORVANE_PASSWORD";

// The password: the first line of the file (without its line end), the variable's value, or
// what was typed at the prompt (written to standard error).
PasswordResult ReadPassword(const PasswordRequest &request, std::FILE *standardInput = stdin);
