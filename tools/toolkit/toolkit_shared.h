// What the POSIX and the Windows halves of the toolkit share: the names of
// the hidden files beside a file (its lock and its append journal), the
// journal's text, and the one-line notices on stderr.
#ifndef PIXSHOW_TOOLS_TOOLKIT_SHARED_H
#define PIXSHOW_TOOLS_TOOLKIT_SHARED_H

#include <string>

namespace toolkit {
namespace shared {

constexpr char kTempPrefix[] = ".pixtmp-";
constexpr char kLockPrefix[] = ".pixlock-";
constexpr char kJournalPrefix[] = ".pixundo-";

// PREFIX + 16 hex digits from the file name (capitals ignored on Windows):
// short, so that a name of 255 bytes still has its hidden files.
std::string HiddenName(const char* prefix, const std::string& fileName);

// What an append must take back should it be cut off: the file's name, its
// old length and its identity (device and inode; volume and file index).
struct Journal {
  std::string name;
  long long length = 0;
  unsigned long long volume = 0;
  unsigned long long file = 0;
  bool created = false;
};
std::string JournalText(const Journal& journal);
bool ParseJournal(const std::string& text, Journal* journal);

// "PROGRAM: LINE" on stderr, after whatever stdout holds.
void Notice(const std::string& line);
void SetProgramName(const std::string& argv0);

// The waiting line and the refusal of LockFile; `holder` is the process
// id written in the lock file, or empty.
std::string Waiting(const std::string& path, const std::string& holder, int seconds);
std::string StillLocked(const std::string& path, const std::string& holder, int seconds,
                        bool writing);
// The line of a journal that was acted on.
std::string TakenBack(const std::string& path, const Journal& journal);

}  // namespace shared
}  // namespace toolkit

#endif
