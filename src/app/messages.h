// Every fixed text the tool prints, verbatim. Scripts parse this output, so
// these strings are part of the interface: change none of them lightly.
#pragma once

namespace keyscout {

inline constexpr char16_t MSG_BANNER[] =
    u"\n"
    u"keyscout v1.0 - read-only viewer of offline Windows registry hive files\n"
    u"Written by the keyscout developers\n"
    u"Contact: the keyscout issue tracker\n"
    u"\n";

inline constexpr char16_t MSG_USAGE[] =
    u"Usage : keyscout.exe -f hive_path [-options]\n"
    u"Options:\n"
    u"\t[-k key_path] Specifies key path (e.g.: -k \"ControlSet001\\Control\\Session Manager\")\n"
    u"\t[-v value_name] Specifies value name (e.g.: -v BootExecute)\n"
    u"\t[-l] List subkeys information\n"
    u"\t[-e] List values information\n"
    u"\t[-s] Show key security description information\n"
    u"\t[-w output_file] Dump attribute to a file\n"
    u"\t[-i] Show key information (last written time, class name, flags) and hive state\n"
    u"\t[-d] Decode the value data by its type (with -v or -u)\n"
    u"\t[-u] Show the unnamed (default) value of the key\n"
    u"\t[-t] Apply the hive's transaction logs (.LOG1, .LOG2, .LOG) in memory before reading\n"
    u"\t[-x format] Export the key and every key below it, with their values, as jsonl, csv or body records\n"
    u"\t[-r] With -x, also export the deleted keys and values found in the hive's free space\n"
    u"\n";

inline constexpr char16_t MSG_CANNOT_OPEN_TARGET[] = u"Cannot open target file. (%s)\n";
inline constexpr char16_t MSG_CANNOT_MAP_TARGET[] = u"Cannot map target file. (%s)\n";
inline constexpr char16_t MSG_CANNOT_MAP_MEMORY[] = u"Cannot map file to memory. (%s)\n";
inline constexpr char16_t MSG_CANNOT_FIND_KEY[] = u"Cannot find the key. (%s)\n";
inline constexpr char16_t MSG_KEY_PATH[] = u"KEY PATH : %s\n";
inline constexpr char16_t MSG_ROOT[] = u"ROOT";
inline constexpr char16_t MSG_SEPARATOR[] = u"=====================\n";
inline constexpr char16_t MSG_SECURITY_TITLE[] = u"Security descriptor information : \n";
inline constexpr char16_t MSG_CANNOT_READ_SECURITY[] = u"Cannot read the security descriptor. (%s)\n";
inline constexpr char16_t MSG_OUT_OF_MEMORY[] = u"Out of memory.\n";
// The line written to the error stream when standard output itself failed;
// the cause and ")\n" follow.
inline constexpr char MSG_OUTPUT_LOST_PREFIX[] = "Cannot write to standard output. (";

// The key information block (-i): each label padded to the colon's column.
// The title ends with a space, and so does the class name line of a key
// without a class name.
inline constexpr char16_t MSG_INFO_TITLE[] = u"Key information : \n";
inline constexpr char16_t MSG_INFO_LAST_WRITTEN[] = u"Last written    : %s\n";
inline constexpr char16_t MSG_INFO_FLAGS[] = u"Flags           : %s\n";
inline constexpr char16_t MSG_INFO_CLASS_NAME[] = u"Class name      : %s\n";
inline constexpr char16_t MSG_INFO_SUBKEYS[] = u"Subkeys         : %s (volatile %s)\n";
inline constexpr char16_t MSG_INFO_VALUES[] = u"Values          : %s\n";
inline constexpr char16_t MSG_INFO_SECURITY[] = u"Security cell   : %s\n";
inline constexpr char16_t MSG_INFO_PARENT[] = u"Parent cell     : %s\n";
inline constexpr char16_t MSG_INFO_HIVE_VERSION[] = u"Hive version    : %s.%s\n";
inline constexpr char16_t MSG_INFO_HIVE_SEQUENCE[] = u"Hive sequence   : %s / %s %s\n";
inline constexpr char16_t MSG_INFO_HIVE_WRITTEN[] = u"Hive written    : %s\n";
// A field whose bytes cannot be read.
inline constexpr char16_t MSG_UNREADABLE[] = u"(unreadable)";
inline constexpr char16_t MSG_HIVE_CLEAN[] = u"(clean)";
inline constexpr char16_t MSG_HIVE_DIRTY[] = u"(dirty)";
// The names of the key node's flag bits, in bit order from 0x0001, joined
// by this separator inside parentheses after the number.
inline constexpr const char16_t* MSG_KEY_FLAG_NAMES[] = {
    u"VOLATILE", u"HIVE_EXIT", u"HIVE_ENTRY", u"NO_DELETE", u"SYM_LINK", u"COMP_NAME", u"PREDEF_HANDLE",
};
inline constexpr char16_t MSG_KEY_FLAG_SEPARATOR[] = u"|";

// The status line of -t, after the banner and before the key path line, as
// PrintLogStatus (log_status.h) prints it: one of the states, then
// MSG_LOGS_GAP when entries are missing, then the line end.
inline constexpr char16_t MSG_LOGS_CLEAN[] = u"Transaction logs : hive is clean, no log applied";
inline constexpr char16_t MSG_LOGS_NO_USABLE_LOG[] =
    u"Transaction logs : hive is dirty but no usable log was found, read as stored";
// Applied: this, then in the new format each log applied with its count of
// entries (joined by MSG_LOGS_AND) and the first and last sequence numbers of
// the entries applied; in the old format the log applied and the count of
// 512-byte pages written.
inline constexpr char16_t MSG_LOGS_APPLIED[] = u"Transaction logs : applied ";
inline constexpr char16_t MSG_LOGS_ONE_ENTRY[] = u"%s (1 entry)";
inline constexpr char16_t MSG_LOGS_ENTRIES[] = u"%s (%u entries)";
inline constexpr char16_t MSG_LOGS_AND[] = u" and ";
inline constexpr char16_t MSG_LOGS_SEQUENCES[] = u", sequence %u to %u";
inline constexpr char16_t MSG_LOGS_OLD_ONE_PAGE[] = u"%s (old format, 1 page)";
inline constexpr char16_t MSG_LOGS_OLD_PAGES[] = u"%s (old format, %u pages)";
// Added when the first entry applied does not follow the hive's own
// sequence number (%u): entries in between are missing.
inline constexpr char16_t MSG_LOGS_GAP[] = u", after a gap from %u";
// The same on standard error, in words: the hive's sequence number, then
// the first one applied.
inline constexpr char16_t MSG_LOGS_GAP_NOTE[] =
    u"keyscout: the transaction logs hold no entry from the hive's sequence %u up to sequence %u, where the "
    u"entries applied start: the recovered hive may be incomplete\n";

// The security table's lines. Header and rows do not line up: scripts read them as
// they are.
inline constexpr char16_t MSG_SECURITY_HEADER[] = u"CLASS      SID\t       Domain&Account\t\tAccess\tType\tFlags\n";
inline constexpr char16_t MSG_OWNER_ROW[] = u"Owner    : %s    %s\\%s\n";
inline constexpr char16_t MSG_GROUP_ROW[] = u"Group    : %s    %s\\%s\n";
inline constexpr char16_t MSG_SACL_ROW[] = u"SACL ACE : %s    %s\\%s %08X %02X %02X\n";
inline constexpr char16_t MSG_DACL_ROW[] = u"DACL ACE : %s    %s\\%s %08X %02X %02X\n";

// Subkey and value listings.
inline constexpr char16_t MSG_SUBKEYS_HEADER[] = u"Subkeys information:\nHCELL_INDEX\tKey name\n";
inline constexpr char16_t MSG_SUBKEYS_FOOTER[] = u"----------------\nSubkey count : %u\n";
inline constexpr char16_t MSG_VALUES_HEADER[] = u"Key values information:\nHCELL_INDEX\tValue type\tValue name\n";
inline constexpr char16_t MSG_VALUES_FOOTER[] = u"----------------\nKey values count : %u\n";

// Value report and dump file.
inline constexpr char16_t MSG_CANNOT_FIND_VALUE[] = u"Cannot find the value. (%s)\n";
inline constexpr char16_t MSG_CANNOT_READ_VALUE[] = u"Cannot read the value data. (%s)\n";
inline constexpr char16_t MSG_VALUE_HEADER[] =
    u"Value name   = %s\nValue length = %08X\nValue type   = %s\nValue hex data : \n";
inline constexpr char16_t MSG_VALUE_RULE[] = u"-----------------\n";
inline constexpr char16_t MSG_DUMP_START[] = u"Start dump value [%s] to file [%s] : \n";
inline constexpr char16_t MSG_CANNOT_CREATE_DUMP[] = u"Cannot create dump file. (%s)\n";
inline constexpr char16_t MSG_CANNOT_WRITE_DUMP[] = u"Cannot write dump file. (%s)\n";
inline constexpr char16_t MSG_DUMP_DONE[] = u"Dump file succeed.\n";
// Stands for the name of the key's unnamed value (-u) wherever -v shows the
// name as typed. Choice: a word in parentheses rather than an empty name, so
// that the header and every message still say which value was meant.
inline constexpr char16_t MSG_UNNAMED_VALUE[] = u"(unnamed)";

// The -d block after the hex dump: a title, then one line per item, each
// after a tab. A text's control characters show as \xNN, its other
// characters by the output encoding.
inline constexpr char16_t MSG_DECODED_TITLE[] = u"Value data : \n";
inline constexpr char16_t MSG_DECODED_ITEM[] = u"\t";
inline constexpr char16_t MSG_DECODED_ITEM_END[] = u"\n";
inline constexpr char16_t MSG_DECODED_CONTROL[] = u"\\x%02X";
// A number in decimal, then in hexadecimal (8 or 16 digits by its type).
// Choice: the decimal first, so that the line's first word is the number,
// and the hexadecimal in parentheses, as the same number in another base.
inline constexpr char16_t MSG_DECODED_NUMBER[] = u"\t%s (0x%s)\n";
inline constexpr char16_t MSG_DECODED_BAD_LENGTH[] = u"\t(length does not fit the type)\n";

// What starts each line written to standard error.
inline constexpr char16_t MSG_ERROR_PREFIX[] = u"keyscout: ";

// The export (-x): what refuses a command line, each the one line of its run.
inline constexpr char16_t MSG_EXPORT_UNKNOWN_FORMAT[] =
    u"keyscout: unknown export format \"%s\": -x takes jsonl, csv or body\n";
inline constexpr char16_t MSG_EXPORT_COMBINED[] =
    u"keyscout: -x writes records alone and cannot be combined with %s\n";

// The export (-x). Its records carry these texts as they stand: in a JSON
// error record's "error", a value's "error", and CSV's value_data.
inline constexpr char16_t MSG_EXPORT_DAMAGE_ONE[] =
    u"keyscout: 1 place in the hive could not be read; the export went on past it\n";
inline constexpr char16_t MSG_EXPORT_DAMAGE_MANY[] =
    u"keyscout: %s places in the hive could not be read; the export went on past them\n";
// A place the walk could not read. The record adds the cell concerned (the
// list, the subkey's cell, or the key), as " (cell 0000ABCD)".
inline constexpr char REC_SUBKEY_LIST[] = "subkey list cannot be read";
inline constexpr char REC_NOT_A_KEY[] = "subkey list entry names no key";
inline constexpr char REC_KEY_UNREADABLE[] = "subkey cannot be read";
inline constexpr char REC_CYCLE[] = "subkey is a key already on this path: a cycle";
inline constexpr char REC_REACHED_TWICE[] = "subkey was reached before from another list entry";
inline constexpr char REC_TOO_DEEP[] = "subkey lies more than 512 levels down";
inline constexpr char REC_ENTRY_LIMIT[] =
    "more list entries than the file has room for (lists that name each other over and over): the export ends "
    "here";
inline constexpr char REC_VALUE_LIST[] = "value list cannot be read whole";
inline constexpr char REC_CLASS_NAME[] = "class name cannot be read";
inline constexpr char REC_CELL[] = " (cell ";
// The export with -r: where a deleted record was found, and the count at the
// end of the run.
inline constexpr char REC_STATE_DELETED[] = "deleted";
inline constexpr char REC_FOUND_IN_FREE_CELL[] = "free cell";
inline constexpr char REC_FOUND_IN_SLACK[] = "slack";
inline constexpr char16_t MSG_EXPORT_RECOVERED[] =
    u"keyscout: %s live keys, %s deleted keys and %s deleted values found\n";
// A value that could not be read whole.
inline constexpr char REC_VALUE_DATA[] = "data cannot be read";
inline constexpr char REC_VALUE_UNREADABLE[] = "no readable value";
inline constexpr char REC_VALUE_TWICE[] = "value was reached before from another list entry";
inline constexpr char REC_VALUE_OVER_BUDGET[] = "data would take more bytes than the file holds: cells shared";

}  // namespace keyscout
