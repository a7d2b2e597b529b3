#pragma once

#include "engines/web/HTMLJobRecord.h"
#include "engines/web/PageInks.h"
#include "engines/web/ProofRoundScript.h"

#include <locale>
#include <string>

namespace tavrin {

// Writes a job's web proof pages: the viewer page under indexFileName and
// "print.html" in the same folder, every line ending with CR LF, existing
// files replaced. The viewer script "tavrin.js" of the program folder is
// copied into the viewer page. baseURL is the web root's URL + "tavrin/";
// the directories are relative to it: scriptDirectory "scripts/",
// imageDirectory "images/", dataDirectory the job's UniqueID + "/". The
// folder must exist. Both are written under their unfinished names and
// named when both are whole, the viewer page last. Raises
// std::runtime_error "Cannot create|write|rename PATH: reason" (or the
// reader's error for the script) and leaves none of its unfinished files.
void WriteProofPages(const std::string& indexFileName, const std::string& pageTitle, const std::string& baseURL,
                     const THTMLJobRecord& record, const std::string& scriptDirectory,
                     const std::string& imageDirectory, const std::string& dataDirectory);

// The Web task's call: builds the record (BuildHTMLJobRecord), writes the
// pages' ink data (inks.js, see PageInks.h), the proof's fingerprint
// (proof.js) and its round (rounds.js, see ProofRoundScript.h) and then the
// pages into
// jobFolder (with its trailing separator) with the title "Tavrin Remote
// Proofing By Dranwick - " + job name, the base URL WebRoot + "tavrin/" and
// the job's remote folder (RemoteJobFolderName) as data directory, where the
// upload puts the tiles. tables: the colour tables of the pages' masters,
// for the ink data. Errors as for the functions it calls, and
// std::invalid_argument for a malformed secret.
void WriteJobProofPages(TCatalogueConnection& catalogue, const TJobDetailRecord& job, const TSettingsRecord& settings,
                        const std::string& jobFolder, TDateTime noMasterDate, const TPageColorTables& tables = {},
                        const TProofRoundData& round = {});

// Removes a job folder's proof pages, their data scripts and the change map
// databases (the folder with its trailing separator): they stand for the
// tile databases beside them. Raises when one stays.
void RemoveJobProofPages(const std::string& jobFolder);

// The creation date as the page shows it: the locale's short date, a blank
// and its long time, the time left out at exactly midnight.
std::string CreationDateText(TDateTime moment, const std::locale& locale);
// The same in the machine's locale (the classic one when it has none usable).
std::string CreationDateText(TDateTime moment);

// A factor as the page writes it: fixed point, 15 decimals, a full stop
// whatever the locale ("%0.15f").
std::string FactorText(double factor);

}  // namespace tavrin
