#include "app/driver.h"

#include <new>
#include <optional>

#include "app/info_report.h"
#include "app/listings.h"
#include "app/messages.h"
#include "app/options.h"
#include "app/security_report.h"
#include "app/value_report.h"
#include "hive/key_lookup.h"
#include "security/atl_exception.h"

namespace keyscout {

MapStatus MappedHiveSource::Open(const std::u16string& path, HiveImage* image) {
  const MapStatus status = file_.Open(path);
  if (status == MapStatus::kOk) *image = HiveImage(file_.data(), file_.size());
  return status;
}

namespace {

// The value report's request: -v, else -u, with -d and -w.
ValueRequest ValueRequestOf(const RunOptions& options) {
  ValueRequest request;
  // Choice: with both -v and -u, -v wins: the value typed by name is the
  // narrower request, and -u adds nothing a script could not drop.
  request.unnamed = (options.flags & OPT_VALUE) == 0;
  if (!request.unnamed) request.name = options.value_name;
  request.decode = (options.flags & OPT_DECODE) != 0;
  request.dump = (options.flags & OPT_DUMP) != 0;
  request.output_file = options.output_file;
  return request;
}

// Everything after the hive is open: key selection and the reports. Returns
// the exit code.
int RunReports(const RunOptions& options, const HiveImage& image, const EvidenceFiles& evidence, Console& out) {
  Cell key = RootKeyCell(image);
  if ((options.flags & OPT_KEY) == 0 && !HasHiveSignatures(image)) {
    // A file that is not a hive at all (a compressed copy, a log) has no root
    // key: reporting its "root" as a key without subkeys or values would tell
    // the user that a hive is empty. A hive whose root cell is damaged still
    // has its root read unchecked.
    out.Format(MSG_CANNOT_FIND_KEY, {MSG_ROOT});
    return 1;
  }
  if ((options.flags & OPT_KEY) != 0) {
    const std::optional<Cell> found = FindKeyByPath(image, options.key_path);
    if (!found) {
      out.Format(MSG_CANNOT_FIND_KEY, {options.key_path});
      return 1;
    }
    key = *found;
  }
  const std::u16string_view shown_path =
      (options.flags & OPT_KEY) != 0 ? std::u16string_view(options.key_path) : MSG_ROOT;
  out.Format(MSG_KEY_PATH, {shown_path});

  if ((options.flags & OPT_INFO) != 0) {
    out.Wide(MSG_SEPARATOR);
    if (!ShowKeyInformation(image, key, shown_path, out)) return 1;
  }
  try {
    if ((options.flags & OPT_SECURITY) != 0) {
      out.Wide(MSG_SEPARATOR);
      out.Wide(MSG_SECURITY_TITLE);
      ShowKeySecurity(image, key, out);
    }
  } catch (const CAtlException&) {
    // Choice: a descriptor the model cannot read ends the run like any other
    // failed step: the rows printed so far stay, no further report runs, one
    // message names the key, and the exit code is 1.
    out.Format(MSG_CANNOT_READ_SECURITY, {shown_path});
    return 1;
  }
  if ((options.flags & OPT_LIST_SUBKEYS) != 0) {
    out.Wide(MSG_SEPARATOR);
    ListSubkeys(image, key, out);
  }
  if ((options.flags & OPT_LIST_VALUES) != 0) {
    out.Wide(MSG_SEPARATOR);
    ListValues(image, key, out);
  }
  if ((options.flags & (OPT_VALUE | OPT_UNNAMED)) != 0) {
    out.Wide(MSG_SEPARATOR);
    if (!ShowValue(image, key, ValueRequestOf(options), evidence, out)) return 1;
  }
  return 0;
}

}  // namespace

int RunTool(const std::vector<std::u16string>& words, Console& out, HiveSource* source) {
  try {
    out.Wide(MSG_BANNER);
    RunOptions options;
    switch (ParseCommandLine(words, &options)) {
      case ParseVerdict::kUsageRequested:
        out.Wide(MSG_USAGE);
        return 0;
      case ParseVerdict::kNoHiveFile:
        out.Wide(MSG_USAGE);
        return 1;
      case ParseVerdict::kRun:
        break;
    }

    MappedHiveSource mapped;
    HiveSource& hive = source != nullptr ? *source : mapped;
    HiveImage image;
    switch (hive.Open(options.hive_path, &image)) {
      case MapStatus::kOk:
        break;
      case MapStatus::kCannotOpen:
        out.Format(MSG_CANNOT_OPEN_TARGET, {options.hive_path});
        return 1;
      case MapStatus::kCannotMapTarget:
        out.Format(MSG_CANNOT_MAP_TARGET, {options.hive_path});
        return 1;
      case MapStatus::kCannotMapMemory:
        out.Format(MSG_CANNOT_MAP_MEMORY, {options.hive_path});
        return 1;
    }
    const EvidenceFiles evidence = hive.Evidence();
    // Standard output appended to the hive itself would write into the
    // evidence: nothing is written then, and the run ends at once.
    out.Protect(evidence);
    if (out.failed()) {
      hive.Close();
      return 1;
    }
    const int code = RunReports(options, image, evidence, out);
    hive.Close();
    return code;
  } catch (const std::bad_alloc&) {
    // Running out of memory anywhere ends the run with one line; the source
    // releases the file as it goes out of scope.
    out.Wide(MSG_OUT_OF_MEMORY);
    return 1;
  }
}

}  // namespace keyscout
