// pixsheet check: does a folder hold every image the presentation draws?
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "pixsheet.h"
#include "toolkit.h"

namespace fs = std::filesystem;

namespace pixsheet {

const std::vector<ArtUse>& ArtUses() {
  static const std::vector<ArtUse> uses = {
#include "art_table.inc"
  };
  return uses;
}

namespace {

// "image 4", "images 15-19", "images 2, 11, 13-14"
std::string Images(const std::set<int>& images) {
  std::string text;
  for (auto it = images.begin(); it != images.end();) {
    int last = *it;
    auto next = std::next(it);
    while (next != images.end() && *next == last + 1) last = *next++;
    if (!text.empty()) text += ", ";
    text += std::to_string(*it) + (last > *it ? "-" + std::to_string(last) : "");
    it = next;
  }
  return (images.size() == 1 ? "image " : "images ") + text;
}

// What is wrong with one sheet of the folder, or "" when nothing is.
std::string SheetProblem(const fs::path& folder, const KnownSheet& sheet, int sheetId,
                         long long* held, int* needed) {
  std::map<int, std::map<int, int>> byScreen;  // screen -> images drawn there -> rows drawn
  for (const ArtUse& use : ArtUses()) {
    if (use.sheet != sheetId) continue;
    int& rows = byScreen[use.screen][use.image];
    rows = std::max(rows, use.rows);
    *needed = std::max(*needed, use.image + 1);
  }
  const std::string first = byScreen.empty() ? "?" : std::to_string(byScreen.begin()->first);
  const std::string stops = ": the show stops at screen " + first + " with \"Load Failure\"";
  const fs::path path = folder / sheet.name;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) {
    std::error_code link;
    if (fs::is_symlink(fs::symlink_status(path, link))) {
      if (ec == std::errc::too_many_symbolic_link_levels)
        return "a link loop (the link leads back to itself)" + stops;
      return "a link to " + toolkit::Quoted(toolkit::TextOf(fs::read_symlink(path, link))) +
             ", which is missing" + stops;
    }
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      const std::string name = toolkit::TextOf(entry.path().filename());
      if (SameButForCapitals(name, sheet.name))
        return "missing (\"" + name + "\" is there: the name must be \"" + sheet.name + "\")" +
               stops;
    }
    return "missing" + stops;
  }
  std::string why;
  toolkit::FileLock lock;  // measured between writes, never during one
  if (!toolkit::LockFile(toolkit::TextOf(path), false, toolkit::kLockWaitSeconds, &lock, &why))
    return "cannot be read now: " + why + stops;
  std::FILE* file = toolkit::OpenRegularFile(toolkit::TextOf(path), &why);
  if (!file) return "cannot be read (" + why + ")" + stops;
  std::fclose(file);

  const long long bytes = static_cast<long long>(fs::file_size(path, ec));
  const long long imageBytes = static_cast<long long>(sheet.width) * sheet.height;
  *held = bytes / imageBytes;
  // The bytes a sheet lacks draw as white: the image the sheet ends inside
  // shows in part, those after it not at all. A screen that draws only the
  // top rows of the image the sheet ends inside draws it whole when those
  // rows are there.
  const long long partBytes = bytes % imageBytes;
  std::vector<std::string> problems;
  if (partBytes) {
    problems.push_back(std::to_string(partBytes) + " bytes left over after the last whole " +
                       std::to_string(sheet.width) + " x " + std::to_string(sheet.height) +
                       " image (imported at another size?)");
  }
  for (const auto& [screen, images] : byScreen) {
    std::set<int> white, part;
    for (const auto& [image, rows] : images) {
      if (image == *held && partBytes) {
        if (partBytes < static_cast<long long>(rows) * sheet.width) part.insert(image);
      } else if (image >= *held) {
        white.insert(image);
      }
    }
    if (!white.empty()) {
      problems.push_back("screen " + std::to_string(screen) + " draws " + Images(white) +
                         (white.size() == 1 ? " as a white block" : " as white blocks"));
    }
    if (!part.empty()) {
      problems.push_back("screen " + std::to_string(screen) + " draws " + Images(part) +
                         " only in part, white after its first " + std::to_string(partBytes) +
                         " bytes");
    }
  }
  std::string text;
  for (const std::string& p : problems) text += (text.empty() ? "" : "; ") + p;
  return text;
}

}  // namespace

int CheckFolder(const std::string& folder) {
  std::error_code ec;
  const fs::path where = toolkit::PathOf(folder);
  if (!fs::is_directory(where, ec))
    Fail("cannot check " + toolkit::Quoted(folder) + ": not a folder");
  std::printf("%-14s %6s %6s  %s\n", "sheet", "images", "needed", "state");
  int bad = 0;
  for (size_t i = 0; i < KnownSheets().size(); ++i) {
    const KnownSheet& sheet = KnownSheets()[i];
    long long held = -1;
    int needed = 0;
    const std::string problem = SheetProblem(where, sheet, static_cast<int>(i), &held, &needed);
    bad += !problem.empty();
    std::printf("%-14s %6s %6d  %s\n", sheet.name, held < 0 ? "-" : std::to_string(held).c_str(),
                needed, problem.empty() ? "ok" : problem.c_str());
  }
  if (bad) {
    std::printf("%d of the %d sheets in %s need attention\n", bad,
                static_cast<int>(KnownSheets().size()), toolkit::Quoted(folder).c_str());
    return 1;
  }
  std::printf("every image the presentation draws is in %s\n", toolkit::Quoted(folder).c_str());
  return 0;
}

}  // namespace pixsheet
