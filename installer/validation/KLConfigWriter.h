// The lines the plug-in appends to the agent's configuration file after a successful
// validation: the endpoint count, the key's second endpoint, and the [main] section.
#ifndef KELVORY_INSTALLER_VALIDATION_KLCONFIGWRITER_H_
#define KELVORY_INSTALLER_VALIDATION_KLCONFIGWRITER_H_

#include <string>
#include <vector>

#include "KLEndPoint.h"

/// Appends to /tmp/kelvor.conf (created when missing, never truncated): "\tendpoint_size=E"
/// with E = 2 for two or more endpoints and 1 otherwise; for two or more, the second endpoint
/// (position 1) as server_1, protocol_1 and port_1; then "[main]" with logfilename, loglevel,
/// homedir, thread_limitation, poll_delay and datablock_size; then two empty lines.
/// `volumePath` is the volume prefix, joined verbatim in front of the agent's paths; where it
/// does not end in "/", homedir gets one before "Applications". Returns 0 when the lines were
/// written, or 3 after the critical alert "Error loading configuration file" when they were
/// not: a value holds a control character (see kl::ConfigBlock; nothing is opened), the file cannot
/// be opened, is not ours to write (see kl::OpenOwnedForAppend), or the append failed (a full
/// disk), in which case the file is cut back to its size before.
/// All lines are appended in one write: the file never ends in half a block.
int writeconfig(std::vector<KLEndPoint> endpoints, char* volumePath);

namespace kl {

/// The lines writeconfig appends, or the empty text with the refused value's name in `refused`
/// when a value holds a control character (below 0x20, or 0x7F): the second endpoint's host or
/// protocol, or the volume prefix.
std::string ConfigBlock(const std::vector<KLEndPoint>& endpoints, const char* volumePath,
                        std::string* refused);

/// The [main] section and the two empty lines that end each appended block, for the volume
/// prefix `volumePath`.
std::string ConfigMainSection(const char* volumePath);

/// True when `text` ends with a complete block as writeconfig appends it for `volumePath`:
/// the endpoint count (with the second endpoint's three lines for a count of 2), then the
/// [main] section.
bool EndsWithAppendedBlock(const std::string& text, const char* volumePath);

/// How the volume prefix was found.
enum class VolumePrefixResult {
  kOk,
  kNoDestination,      ///< no target volume and not exactly one usable applications directory
  kNotASCII,           ///< the path has no ASCII form
  kControlCharacters,  ///< the path holds a control character (a line break would forge lines)
};

/// The volume prefix, cut at 255 bytes: the target volume path when there is one (null or
/// empty means none); otherwise the single applications directory less its last
/// "Applications" ("/Applications" gives "/"). A list that does not hold exactly one entry, or
/// an entry without "Applications", means no destination. Paths are UTF-8 bytes; one with a
/// control character is refused.
VolumePrefixResult FindVolumePrefix(const char* targetVolumePath,
                                    const std::vector<std::string>& applicationDirectories,
                                    std::string* prefix);

/// The alert for a volume prefix that could not be found ("Please go back and select
/// destination first", or one naming what is wrong with the path); empty for kOk.
const char* VolumePrefixMessage(VolumePrefixResult result);

/// Decodes `key` again (ASCII, at most 255 bytes; empty for none) to get its endpoints, finds
/// the volume prefix (applications directories from the platform) and appends the lines with
/// writeconfig. True when they were written. On failure the user has been shown why: the key
/// decoder's alert, "Please go back and select destination first", an alert naming the
/// destination path when it has no ASCII form or holds a control character, or writeconfig's
/// alert.
bool WriteConfiguration(const std::string& key, const char* targetVolumePath);

}  // namespace kl

#endif  // KELVORY_INSTALLER_VALIDATION_KLCONFIGWRITER_H_
