// The first run: without a FOLDER, in a folder that holds none of the sheets,
// the program plays the sample art that came with it, found from where the
// program itself lies: beside it (the Windows zip), in sample/ beside it
// (the build tree) or in share/pixshow/sample beside its bin/ (installed).
#include <cstdio>
#include <cstring>

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

}  // namespace

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
  for (int i = 0; i < sheetCount; i++)
    if (IsFile(sheetNames[i])) return 0;
  char program[MaxPathSize];
  const DWORD length = GetModuleFileNameA(NULL, program, sizeof(program));
  if (length == 0 || length >= sizeof(program)) return 0;
  char folder[MaxPathSize];
  if (!FindSampleFolder(program, sheetNames, sheetCount, folder, sizeof(folder)) ||
      !SetCurrentDirectoryA(folder))
    return 0;
  std::fprintf(stderr, "pixshow: no image sheets here: playing the sample art in %s\n", folder);
  return 1;
}
