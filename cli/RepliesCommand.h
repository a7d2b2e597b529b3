#pragma once

#include "cli/CliContext.h"

#include <string>
#include <vector>

namespace tavrin {

// tavrin-cli replies [REF]: fetches the customers' answers of a job (or of
// every post-queue job) from the web server and prints them.
int RunReplies(TCliContext& context, const std::vector<std::string>& arguments);

// tavrin-cli replies mail FILE: adds the answer blocks of a mail saved in
// FILE ("-" for standard input) and prints what it took.
int RunRepliesFromMail(TCliContext& context, const std::vector<std::string>& arguments);

}  // namespace tavrin
