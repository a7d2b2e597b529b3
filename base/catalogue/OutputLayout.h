#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavrin {

// The separator of local paths: "/" here, a backslash on Windows. The
// "Backslash" functions below work on it; remote paths always use "/".
constexpr char PathDelimiter = '/';

// The folder of the program file, with a trailing separator.
std::string ProgramFolder();

// The program folder + "output" + separator: every job's files live below it.
std::string OutputFolder();

// A page number as it appears in file names: "-%4.4d" ("-0001", "-12345").
std::string PageNumberText(int page);

// Whether text is a job's unique id as the folder scan makes it: exactly 17
// digits ("yyyymmddhhnnsszzz"). Only such an id may name a file or folder,
// here or on the web server: anything else ("..", "/", "") could reach out of
// the job's own folder.
bool IsUniqueID(const std::string& text);

// The unique id itself; raises std::invalid_argument, naming it, when it is
// not one (IsUniqueID).
const std::string& CheckedUniqueID(const std::string& uniqueID);

// A job's folder: the output folder, the job's unique id and a separator.
// Raises std::invalid_argument for an id that is not one (CheckedUniqueID).
std::string JobFolderPath(const std::string& uniqueID);

// The overview picture of a page in its job folder: "overview-0001.png".
std::string OverviewName(int page);

// Output files are written under an unfinished name, the final name with
// ".part" appended, and renamed once complete: a file under its final name is
// always whole, and a run that was killed leaves only unfinished names.
std::string UnfinishedName(const std::string& path);
bool IsUnfinishedName(const std::string& name);

// Gives the complete unfinished file of path its final name, replacing the
// file that had it. Raises std::runtime_error "Cannot rename PART to PATH:
// reason" when it cannot, and then removes the unfinished file.
void CompleteUnfinished(const std::string& path);

// Writes size bytes as the file path: under its unfinished name, renamed once
// whole. Raises std::runtime_error "Cannot write PART: reason" (the
// unfinished file removed) or as CompleteUnfinished.
void WriteWholeFile(const std::string& path, const void* data, std::size_t size);

// Removes an output file that no longer stands for its source; a file that
// is not there is fine. Raises std::runtime_error "Cannot remove PATH:
// reason" when it stays.
void RemoveOutputFile(const std::string& path);

// Removes the unfinished files of a job that a killed run left: those in the
// job's folder, and the job's masters in the output folder. Returns the paths
// it removed.
std::vector<std::string> RemoveUnfinishedOutput(const std::string& uniqueID);

// The address of a job's folder on the web site: the web root exactly as
// typed (a root without its trailing "/" runs into "tavrin/"), "tavrin/",
// the job's remote folder name (RemoteJobFolderName) and "/". Raises for an
// id or a secret that is not one.
std::string JobWebAddress(const std::string& webRoot, const std::string& uniqueID, const std::string& secret);

// The text with one separator appended unless it ends with one; "" stays "".
std::string WithTrailingBackslash(const std::string& text);
// All trailing separators removed and one appended; "" gives one separator.
std::string WithSingleTrailingBackslash(const std::string& text);
// All trailing separators removed.
std::string WithoutTrailingBackslash(const std::string& text);
// All trailing "/" removed and one appended; "" gives "/".
std::string WithSingleTrailingSlash(const std::string& text);
// All trailing "/" removed.
std::string WithoutTrailingSlash(const std::string& text);

}  // namespace tavrin
