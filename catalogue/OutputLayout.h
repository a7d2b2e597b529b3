#pragma once

#include <string>

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

// A job's folder: the output folder, the job's unique id and a separator.
std::string JobFolderPath(const std::string& uniqueID);

// The overview picture of a page in its job folder: "overview-0001.png".
std::string OverviewName(int page);

// The address of a job's folder on the web site: the web root exactly as
// typed (a root without its trailing "/" runs into "tavrin/"), "tavrin/",
// the job's unique id and "/".
std::string JobWebAddress(const std::string& webRoot, const std::string& uniqueID);

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
