// The studio of the web page: pixsheet's export, import and check, called by
// the page (page.js) on sheets in the module's file system. The page keeps
// the sheets in the current folder under their own names and writes a
// dropped PNG there under the name it came with, so that every message
// reads as the command line's would.
//
// Each call answers 1 on success and 0 on failure; studio_message() then
// gives what pixsheet would print (the failure without "pixsheet: ").
#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "pixsheet.h"
#include "pngio.h"
#include "toolkit.h"

namespace {

std::string message;

int Report(const std::function<std::string()>& work) {
  try {
    message = work();
    return 1;
  } catch (const pixsheet::Failure& failure) {
    message = failure.message;
  } catch (const std::bad_alloc&) {
    message = "not enough memory";
  } catch (const std::exception& e) {
    message = e.what();
  }
  return 0;
}

std::string Plural(long long n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* studio_message() { return message.c_str(); }

// `pixsheet export SHEET --image K -o OUT`, or with `labels` the numbered
// preview of `pixsheet export SHEET --labels -o OUT` (K unused).
EMSCRIPTEN_KEEPALIVE int studio_export(const char* sheet, int image, int labels, const char* out) {
  return Report([&] {
    using namespace pixsheet;
    const SheetReader reader(sheet);
    const ImageSize size = SizeFor(sheet, "");
    const KnownSheet* known = FindKnownSheet(sheet);
    const Picture picture = labels
                                ? ExportContactSheet(reader.File(), sheet, reader.Length(), size,
                                                     known ? known->columns : 10, true)
                                : ExportImage(reader.File(), sheet, reader.Length(), size, image);
    std::string error;
    if (!pngio::WriteIndexedPng(out, picture.width, picture.height, picture.pixels.data(),
                                picture.width, ProgramPalette().rgb, &error)) {
      Fail(error);
    }
    return "wrote " + toolkit::Quoted(out);
  });
}

// `pixsheet import PNG -o SHEET --image K [--strict]`.
EMSCRIPTEN_KEEPALIVE int studio_import(const char* png, const char* sheet, int image, int strict) {
  return Report([&] {
    using namespace pixsheet;
    const ImageSize size = SizeFor(sheet, "");
    // Written over images in place, they must fit: the picture's size tells
    // how many it holds at most before any pixel is read.
    const long long most = MostImagesIn(png, size);
    std::error_code ec;
    const long long before =
        static_cast<long long>(std::filesystem::file_size(toolkit::PathOf(sheet), ec));
    const long long images = ReplaceImages(sheet, size, image, most, [&](const ImageSink& take) {
      ColourMapper mapper(ProgramPalette());
      if (ImportPicture(png, size, &mapper, strict != 0, take) == 0)
        Fail("nothing to import: every grid place of the given images is empty");
    });
    const long long now = std::max((ec ? 0 : before) / size.Bytes(), image + images);
    return "wrote " + Plural(images, "image") + " over " +
           (images == 1
                ? "image " + std::to_string(image)
                : "images " + std::to_string(image) + "-" + std::to_string(image + images - 1)) +
           " of " + toolkit::Quoted(sheet) + ": " + Plural(now, "image") + ", the others unchanged";
  });
}

// `pixsheet check` in the current folder: the table goes to standard output;
// answers the command's status (2 with a message when it could not run).
EMSCRIPTEN_KEEPALIVE int studio_check() {
  int status = 2;
  Report([&] {
    status = pixsheet::CheckFolder(".");
    return std::string();
  });
  std::fflush(stdout);
  return status;
}

}  // extern "C"
