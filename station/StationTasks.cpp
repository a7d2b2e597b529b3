#include "station/TaskKinds.h"
#include "tasks/delivery/AnswersThread.h"
#include "tasks/delivery/DeleteThread.h"
#include "tasks/delivery/NotifyThread.h"
#include "tasks/delivery/ReminderThread.h"
#include "tasks/delivery/TransferThread.h"
#include "tasks/imaging/MasteringThread.h"
#include "tasks/imaging/PreviewThread.h"
#include "tasks/imaging/TilingThread.h"

namespace tavrin {

namespace {

template <class TTask>
TTaskFactory FactoryOf()
{
    return [](TMessageTarget& target, const TTaskContext& context) { return std::make_unique<TTask>(target, context); };
}

}  // namespace

// The composition of the station's tasks: each joins the chain here.
TTaskKinds StationTaskKinds()
{
    TTaskKinds kinds;
    kinds.Chain[MasterTask] = FactoryOf<TMasteringThread>();
    kinds.Chain[PreviewTask] = FactoryOf<TPreviewThread>();
    kinds.Chain[WebTask] = FactoryOf<TTilingThread>();
    kinds.Chain[TransferTask] = FactoryOf<TTransferThread>();
    kinds.Chain[NotifyTask] = FactoryOf<TNotifyThread>();
    kinds.Deletion = FactoryOf<TDeleteThread>();
    kinds.Answers = [](TMessageTarget& target, const TTaskContext& context, const std::vector<std::uint32_t>& jobs) {
        return std::make_unique<TAnswersThread>(target, context, jobs);
    };
    kinds.Reminders = [](TMessageTarget& target, const TTaskContext& context, const std::vector<std::uint32_t>& jobs) {
        return std::make_unique<TReminderThread>(target, context, jobs);
    };
    return kinds;
}

}  // namespace tavrin
