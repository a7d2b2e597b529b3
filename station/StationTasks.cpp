#include "station/TaskKinds.h"
#include "tasks/delivery/AnswersThread.h"
#include "tasks/delivery/DeleteThread.h"
#include "tasks/delivery/NotifyThread.h"
#include "tasks/delivery/TransferThread.h"
#include "tasks/imaging/MasteringThread.h"
#include "tasks/imaging/PreviewThread.h"
#include "tasks/imaging/TilingThread.h"

namespace tavrin {

// The composition of the station's tasks: each joins the chain here.
TTaskKinds StationTaskKinds()
{
    TTaskKinds kinds;
    kinds.Chain[MasterTask] = [](TMessageTarget& target, std::uint32_t reference, const TSettingsRecord& settings) {
        // The configured profiles only when the configuration check accepted them.
        const bool profiles = settings.ProfilesValid;
        return std::make_unique<TMasteringThread>(target, settings.InputFolder, reference,
                                                  profiles ? settings.SourceColorProfile : "",
                                                  profiles ? settings.DestinationColorProfile : "");
    };
    kinds.Chain[PreviewTask] = [](TMessageTarget& target, std::uint32_t reference, const TSettingsRecord&) {
        return std::make_unique<TPreviewThread>(target, reference);
    };
    kinds.Chain[WebTask] = [](TMessageTarget& target, std::uint32_t reference, const TSettingsRecord&) {
        return std::make_unique<TTilingThread>(target, reference);
    };
    kinds.Chain[TransferTask] = [](TMessageTarget& target, std::uint32_t reference, const TSettingsRecord&) {
        return std::make_unique<TTransferThread>(target, reference);
    };
    kinds.Chain[NotifyTask] = [](TMessageTarget& target, std::uint32_t reference, const TSettingsRecord&) {
        return std::make_unique<TNotifyThread>(target, reference);
    };
    kinds.Deletion = [](TMessageTarget& target, std::uint32_t reference, const TSettingsRecord&) {
        return std::make_unique<TDeleteThread>(target, reference);
    };
    kinds.Answers = [](TMessageTarget& target, const std::vector<std::uint32_t>& jobs) {
        return std::make_unique<TAnswersThread>(target, jobs);
    };
    return kinds;
}

}  // namespace tavrin
