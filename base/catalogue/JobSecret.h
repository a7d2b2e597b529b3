#pragma once

#include <string>

namespace tavrin {

// 128 bits from the system's cryptographic generator in lower-case hex: the
// part of a job's web address that nobody can guess or enumerate. Raises
// std::runtime_error when the generator fails.
std::string MakeJobSecret();

// True for 32 lower-case hexadecimal digits, the form MakeJobSecret gives.
bool IsJobSecret(const std::string& text);

// The name of the job's folder under "tavrin/" on the web host, which is also
// the last step of its web address: the unique id, "-" and the secret. A job
// catalogued before jobs had secrets keeps its unique id alone, where its
// files already are. Raises std::invalid_argument for an id that is not 17
// digits or a secret of any other form, since either would name a folder
// outside the job's own or one anybody could guess.
std::string RemoteJobFolderName(const std::string& uniqueID, const std::string& secret);

}  // namespace tavrin
