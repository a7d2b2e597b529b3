#include "tasks/delivery/DeliveryJob.h"

#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"

namespace tavrin {

TDeliveryJob CheckDeliveryJob(const TTaskContext& context, const std::string& consequence)
{
    TDeliveryJob checked;
    const std::string job = "Job " + std::to_string(context.JobReference());
    const auto reference = static_cast<std::int32_t>(context.JobReference());
    LoadJobDetail(context.Catalogue(), reference, checked.Job);
    if (checked.Job.ID <= 0) {
        checked.Refusal = job + " is not in the catalogue.";
        return checked;
    }
    checked.RefusalIsLogged = true;
    const TJobDetailRecord& record = checked.Job;
    // The id names the job's folders here and on the server: anything but
    // 17 digits could name a folder of other jobs, or of the program.
    if (!IsUniqueID(record.UniqueID)) {
        checked.Refusal = record.UniqueID.empty() ? job + " has no unique id; " + consequence
                                                  : job + " has the unique id \"" + record.UniqueID +
                                                        "\", which is not 17 digits; " + consequence;
        return checked;
    }
    if (!record.Secret.empty() && !IsJobSecret(record.Secret)) {
        checked.Refusal = job + " has the secret \"" + record.Secret +
                          "\", which is not 32 lower-case hexadecimal digits; " + consequence;
        return checked;
    }
    checked.LocalFolder = JobOutputFolder(context.Catalogue(), reference);
    if (checked.LocalFolder.empty())
        checked.Refusal = job + " has no unique id; " + consequence;
    return checked;
}

TSessionReports TaskSessionReports(const TPostText& postLog, const TPostText& postTask)
{
    TSessionReports reports;
    reports.Line = [postLog](const std::string& line) { postLog(line, -1); };
    reports.Status = [postTask](const std::string& status) { postTask(status, -1); };
    reports.Progress = [postTask](int percent) { postTask("", percent); };
    return reports;
}

}  // namespace tavrin
