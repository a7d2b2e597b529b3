#pragma once

#include "cli/CliContext.h"

namespace tavrin {

// The station's main loop from the command line: start-up, the queue and its
// recipients, Start, the post queue, single tasks and the address book.
int RunStartupOperation(TCliContext& context, const std::vector<std::string>& arguments);
int RunQueueList(TCliContext& context, const std::vector<std::string>& arguments);
int RunQueueAdd(TCliContext& context, const std::vector<std::string>& arguments);
int RunQueueTasks(TCliContext& context, const std::vector<std::string>& arguments);
int RunQueueDue(TCliContext& context, const std::vector<std::string>& arguments);
int RunQueueTick(TCliContext& context, const std::vector<std::string>& arguments);
int RunQueueRemove(TCliContext& context, const std::vector<std::string>& arguments);
int RunRecipientAdd(TCliContext& context, const std::vector<std::string>& arguments);
int RunRecipientRemove(TCliContext& context, const std::vector<std::string>& arguments);
int RunStart(TCliContext& context, const std::vector<std::string>& arguments);
int RunPostQueueList(TCliContext& context, const std::vector<std::string>& arguments);
int RunPostQueueDelete(TCliContext& context, const std::vector<std::string>& arguments);
int RunTask(TCliContext& context, const std::vector<std::string>& arguments);
int RunContactsList(TCliContext& context, const std::vector<std::string>& arguments);
int RunContactsSave(TCliContext& context, const std::vector<std::string>& arguments);
int RunContactsDelete(TCliContext& context, const std::vector<std::string>& arguments);

}  // namespace tavrin
