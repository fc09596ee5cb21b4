// The first run: without a FOLDER, in a folder that holds none of the sheets,
// the program plays the sample art that came with it, found from where the
// program itself lies: beside it (the Windows zip), in sample/ beside it
// (the build tree) or in share/pixshow/sample beside its bin/ (installed).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "shell/shell.h"

int g_folderNamed = 0;

namespace {

int IsFile(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// folder + separator + name into path; 0 when it does not fit.
int JoinPath(char* path, int size, const char* folder, char separator, const char* name) {
  const int written = std::snprintf(path, size, "%s%c%s", folder, separator, name);
  return written > 0 && written < size;
}

// Whether `name` (as the system spells it) is `sheet` but for the case of
// its ASCII letters, and not spelt alike.
template <typename Char>
int SameButForCapitals(const std::basic_string<Char>& name, const char* sheet) {
  if (name.size() != std::strlen(sheet)) return 0;
  int differs = 0;
  for (size_t i = 0; i < name.size(); i++) {
    const Char c = name[i];
    const Char lower = c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
    const char s =
        sheet[i] >= 'A' && sheet[i] <= 'Z' ? static_cast<char>(sheet[i] - 'A' + 'a') : sheet[i];
    if (lower != static_cast<Char>(s)) return 0;
    differs |= c != static_cast<Char>(sheet[i]);
  }
  return differs;
}

// The name in the current folder that is `sheet` in other capitals, or "".
std::string MiscapitalisedSheet(const char* sheet) {
  std::error_code error;
  for (std::filesystem::directory_iterator entry(".", error), end; !error && entry != end;
       entry.increment(error)) {
    const auto name = entry->path().filename().native();
    if (SameButForCapitals(name, sheet)) return std::string(name.begin(), name.end());
  }
  return "";
}

// "a", "a and b", "a, b and c"
void AddToList(std::string* list, const std::string& item, int index, int count) {
  *list += (index == 0 ? "" : index == count - 1 ? " and " : ", ") + item;
}

}  // namespace

int ReportMissingSheets(const char* const* sheetNames, int sheetCount) {
  std::string missing, capitals;
  int missingCount = 0, capitalsCount = 0;
  std::string found[64];
  for (int i = 0; i < sheetCount && i < 64; i++) {
    if (IsFile(sheetNames[i])) continue;
    found[i] = MiscapitalisedSheet(sheetNames[i]);
    (found[i].empty() ? missingCount : capitalsCount)++;
  }
  for (int i = 0, m = 0, c = 0; i < sheetCount && i < 64; i++) {
    if (IsFile(sheetNames[i])) continue;
    if (found[i].empty())
      AddToList(&missing, sheetNames[i], m++, missingCount);
    else
      AddToList(&capitals, "\"" + found[i] + "\" for " + sheetNames[i], c++, capitalsCount);
  }
  if (missing.empty() && capitals.empty()) return 0;
  std::error_code error;
  const std::string folder = std::filesystem::current_path(error).string();
  std::fprintf(stderr,
               "pixshow: the folder \"%s\" %s%s%s%s%s: \"Load Failure\" ends the show "
               "where it first draws from one\n",
               folder.c_str(), missing.empty() ? "" : "lacks ", missing.c_str(),
               !missing.empty() && !capitals.empty() ? ", and has "
               : capitals.empty()                    ? ""
                                                     : "has ",
               capitals.c_str(), capitals.empty() ? "" : " (names are exact)");
  return 1;
}

int FindSampleFolder(const char* programPath, const char* const* sheetNames, int sheetCount,
                     char* folder, int size) {
  const char* slash = std::strrchr(programPath, '/');
  const char* backslash = std::strrchr(programPath, '\\');
  if (backslash != NULL && (slash == NULL || backslash > slash)) slash = backslash;
  if (slash == NULL) return 0;
  const char separator = *slash;
  // The program's own folder, and the one above it for an installed bin/.
  char own[MaxPathSize];
  char above[MaxPathSize];
  const int ownLength = static_cast<int>(slash - programPath);
  if (ownLength + 1 > MaxPathSize) return 0;
  std::memcpy(own, programPath, ownLength);
  own[ownLength] = '\0';
  std::memcpy(above, own, ownLength + 1);
  char* cut = std::strrchr(above, separator);
  if (cut != NULL) *cut = '\0';
  const struct {
    const char* base;
    const char* sub;
  } Candidates[] = {{own, NULL}, {own, "sample"}, {above, "share/pixshow/sample"}};
  for (const auto& candidate : Candidates) {
    if (cut == NULL && candidate.base == above) continue;
    char path[MaxPathSize];
    if (candidate.sub == NULL) {
      if (std::snprintf(path, sizeof(path), "%s", candidate.base) >= MaxPathSize) continue;
    } else if (!JoinPath(path, sizeof(path), candidate.base, separator, candidate.sub)) {
      continue;
    }
    if (separator == '\\')
      for (char* c = path; *c != '\0'; c++)
        if (*c == '/') *c = '\\';
    int complete = 1;
    for (int i = 0; i < sheetCount && complete; i++) {
      char sheet[MaxPathSize];
      complete = JoinPath(sheet, sizeof(sheet), path, separator, sheetNames[i]) && IsFile(sheet);
    }
    if (complete && static_cast<int>(std::strlen(path)) < size) {
      std::memcpy(folder, path, std::strlen(path) + 1);
      return 1;
    }
  }
  return 0;
}

int PlaySampleArtIfNoSheets(const char* const* sheetNames, int sheetCount) {
  if (g_folderNamed) return 0;
  std::string capitals;
  for (int i = 0; i < sheetCount; i++) {
    if (IsFile(sheetNames[i])) return 0;
    const std::string found = MiscapitalisedSheet(sheetNames[i]);
    if (!found.empty())
      capitals += (capitals.empty() ? " (" : ", ") + ("\"" + found + "\" is not " + sheetNames[i]);
  }
  if (!capitals.empty()) capitals += ": names are exact)";
  char program[MaxPathSize];
  const DWORD length = GetModuleFileNameA(NULL, program, sizeof(program));
  if (length == 0 || length >= sizeof(program)) return 0;
  char folder[MaxPathSize];
  if (!FindSampleFolder(program, sheetNames, sheetCount, folder, sizeof(folder)) ||
      !SetCurrentDirectoryA(folder))
    return 0;
  std::fprintf(stderr, "pixshow: no image sheets here%s: playing the sample art in %s\n",
               capitals.c_str(), folder);
  return 1;
}
