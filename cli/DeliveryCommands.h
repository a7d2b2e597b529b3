#pragma once

#include "cli/CliContext.h"

namespace tavrin {

// task transfer REF: runs the upload task for the job and prints its log;
// exit 1 when it could not reach the server or a file was not sent.
int RunTaskTransfer(TCliContext& context, const std::vector<std::string>& arguments);

// task delete REF: runs the deletion task for the job and prints its log;
// exit 1 when the remote part did not finish or something was not deleted.
int RunTaskDelete(TCliContext& context, const std::vector<std::string>& arguments);

// common-files: sends the shared scripts and images to the web server; exit 1
// with the error on standard error when it failed.
int RunCommonFiles(TCliContext& context, const std::vector<std::string>& arguments);

}  // namespace tavrin
