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
    u"\t[-U] Print names and texts as UTF-8 (default: ISO 8859-1, \"?\" for other characters)\n"
    u"\t[-L log_path] Apply this transaction log instead of those beside the hive (up to three; implies -t)\n"
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
// After the state, when the file is shorter than its base block declares.
inline constexpr char16_t MSG_HIVE_TRUNCATED[] = u" (truncated)";
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
// after a tab. A text is text from the hive: its control characters show as
// \xNN, its other characters by the output encoding.
inline constexpr char16_t MSG_DECODED_TITLE[] = u"Value data : \n";
inline constexpr char16_t MSG_DECODED_ITEM[] = u"\t";
inline constexpr char16_t MSG_DECODED_ITEM_END[] = u"\n";
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

// Diagnostics: the lines standard error gets to say why, each on its own
// line after "keyscout: ". Standard output and the exit status stay as they
// would be without them.
//
// Words of the command line that did nothing.
inline constexpr char16_t MSG_NOTE_NOT_AN_OPTION[] = u"keyscout: \"%s\" is not an option and was skipped\n";
inline constexpr char16_t MSG_NOTE_OTHER_CASE[] =
    u"keyscout: \"%s\" is not an option and was skipped (option letters are case-sensitive: %s is one)\n";
inline constexpr char16_t MSG_NOTE_JOINED[] =
    u"keyscout: \"%s\" is not an option and was skipped (options are not joined: give them apart, as %s)\n";
inline constexpr char16_t MSG_NOTE_NO_ARGUMENT[] =
    u"keyscout: %s takes an argument but is the last word, and was skipped\n";
inline constexpr char16_t MSG_NOTE_REPLACED[] =
    u"keyscout: %s was given again: the last one counts, and \"%s\" is not used\n";
inline constexpr char16_t MSG_NOTE_TOO_MANY_LOGS[] =
    u"keyscout: -L is taken three times at most: \"%s\" is not used\n";
// Options that do nothing together with the others.
inline constexpr char16_t MSG_NOTE_DECODE_WITHOUT_VALUE[] =
    u"keyscout: -d decodes the value that -v or -u shows, and neither was given: nothing was decoded\n";
inline constexpr char16_t MSG_NOTE_DUMP_WITHOUT_VALUE[] =
    u"keyscout: -w writes the data of the value that -v or -u shows, and neither was given: %s was not "
    u"created\n";
inline constexpr char16_t MSG_NOTE_RECOVER_WITHOUT_EXPORT[] =
    u"keyscout: -r adds the deleted keys and values to the export that -x writes, and -x was not given: "
    u"nothing was searched for\n";
inline constexpr char16_t MSG_NOTE_UNNAMED_AND_VALUE[] =
    u"keyscout: -v and -u were both given: the value -v names is shown, not the unnamed one\n";
// Why a file could not be had: the message, then one of the causes below.
inline constexpr char16_t MSG_NOTE_CANNOT_OPEN[] = u"keyscout: cannot open %s: %s\n";
inline constexpr char16_t MSG_NOTE_CANNOT_MAP[] = u"keyscout: cannot map %s: %s\n";
inline constexpr char16_t MSG_NOTE_CANNOT_CREATE[] = u"keyscout: cannot create %s: %s\n";
inline constexpr char16_t MSG_NOTE_CANNOT_WRITE[] = u"keyscout: cannot write %s: %s\n";
inline constexpr char16_t MSG_NOTE_NO_PRIVATE_VIEW[] =
    u"keyscout: the system gave no private view of %s (%u bytes) to apply the transaction logs to\n";
inline constexpr char16_t MSG_CAUSE_MISSING[] = u"there is no such file";
inline constexpr char16_t MSG_CAUSE_NO_FOLDER[] = u"the folder it would go in does not exist";
inline constexpr char16_t MSG_CAUSE_FOLDER[] = u"it is a folder";
inline constexpr char16_t MSG_CAUSE_NO_PERMISSION[] = u"permission denied";
inline constexpr char16_t MSG_CAUSE_LOCKED[] = u"another program holds it locked";
inline constexpr char16_t MSG_CAUSE_NOT_PLAIN[] = u"it is not a plain file (a device or a pipe)";
inline constexpr char16_t MSG_CAUSE_EMPTY[] = u"the file is empty";
inline constexpr char16_t MSG_CAUSE_TOO_LARGE[] = u"the file is larger than this system can map";
inline constexpr char16_t MSG_CAUSE_IS_HIVE[] = u"it is the hive being read";
inline constexpr char16_t MSG_CAUSE_IS_LOG[] = u"it is one of the hive's transaction logs";
// A file that is not a hive: the first line, then what is missing, then what
// its first bytes say it is, then the line end.
inline constexpr char16_t MSG_NOTE_NOT_A_HIVE[] = u"keyscout: %s is not a registry hive: ";
inline constexpr char16_t MSG_NOTE_NO_SIGNATURES[] = u"it has no \"regf\" at offset 0 and no \"hbin\" at offset 4096";
inline constexpr char16_t MSG_NOTE_NO_REGF[] = u"it has no \"regf\" at offset 0";
inline constexpr char16_t MSG_NOTE_NO_HBIN[] = u"it has no \"hbin\" at offset 4096";
inline constexpr char16_t MSG_NOTE_ONLY_BYTES[] = u" (the file has %u bytes)";
inline constexpr char16_t MSG_NOTE_LOOKS_XZ[] = u"; its first bytes are those of an xz-compressed file";
inline constexpr char16_t MSG_NOTE_LOOKS_GZIP[] = u"; its first bytes are those of a gzip-compressed file";
inline constexpr char16_t MSG_NOTE_LOOKS_ZIP[] = u"; its first bytes are those of a zip archive";
inline constexpr char16_t MSG_NOTE_LOOKS_7Z[] = u"; its first bytes are those of a 7-Zip archive";
inline constexpr char16_t MSG_NOTE_LOOKS_BZIP2[] = u"; its first bytes are those of a bzip2-compressed file";
inline constexpr char16_t MSG_NOTE_LOOKS_EVTX[] = u"; its first bytes are those of a Windows event log (EVTX)";
inline constexpr char16_t MSG_NOTE_IS_LOG[] =
    u"it is a transaction log (%s format): give the hive with -f and this file with -L";
inline constexpr char16_t MSG_NOTE_OLD_FORMAT[] = u"old";
inline constexpr char16_t MSG_NOTE_NEW_FORMAT[] = u"new";
// A hive read as stored although it is dirty: the state, then where its logs
// are, then the line end.
inline constexpr char16_t MSG_NOTE_DIRTY[] =
    u"keyscout: the hive is dirty (sequence numbers %u and %u): its newest changes may be only in its "
    u"transaction logs";
inline constexpr char16_t MSG_NOTE_DIRTY_CHECKSUM[] =
    u"keyscout: the hive is dirty (its base block checksum is wrong): its newest changes may be only in its "
    u"transaction logs";
inline constexpr char16_t MSG_NOTE_LOGS_BESIDE[] = u"; -t applies its logs beside it (%s)\n";
inline constexpr char16_t MSG_NOTE_NO_LOGS_BESIDE[] =
    u"; no log of its name (.LOG1, .LOG2 or .LOG) lies beside it, and -L applies logs kept elsewhere\n";
inline constexpr char16_t MSG_NOTE_OTHER_LOGS_BESIDE[] =
    u"; no log of its name lies beside it, but the folder holds %s: -L applies logs kept under another name\n";
inline constexpr char16_t MSG_NOTE_NAMES_AND[] = u" and ";
inline constexpr char16_t MSG_NOTE_NAMES_COMMA[] = u", ";
inline constexpr char16_t MSG_NOTE_NAMES_MORE[] = u" more";
inline constexpr char16_t MSG_NOTE_TRUNCATED[] =
    u"keyscout: the file is shorter than its base block declares (%u of %u bytes): keys and values past its "
    u"end cannot be read\n";
inline constexpr char16_t MSG_NOTE_SHORT_SUBKEYS[] =
    u"keyscout: listed %u of the %u subkeys the key records: the rest of its subkey list is damaged\n";
inline constexpr char16_t MSG_NOTE_SHORT_VALUES[] =
    u"keyscout: listed %u of the %u values the key records (the unnamed one, which gets no row, among them): "
    u"the rest of its value list is damaged\n";
// A key path not found: the key reached (MSG_NOTE_KEY or MSG_NOTE_ROOT_KEY),
// then the first name not found.
inline constexpr char16_t MSG_NOTE_KEY[] = u"keyscout: the key \"%s\"";
inline constexpr char16_t MSG_NOTE_ROOT_KEY[] = u"keyscout: the root key";
inline constexpr char16_t MSG_NOTE_NO_SUBKEY[] = u" has no subkey \"%s\"\n";
inline constexpr char16_t MSG_NOTE_LIST_DAMAGED[] =
    u" has subkey lists that cannot be read whole, so \"%s\" may be in them unseen\n";
inline constexpr char16_t MSG_NOTE_KEY_DAMAGED[] =
    u" cannot be read (its cell is no sound key node), so \"%s\" cannot be looked for\n";
inline constexpr char16_t MSG_NOTE_NAME_TOO_LONG[] =
    u"keyscout: \"%s\" is longer than a key name can be (259 characters)\n";
inline constexpr char16_t MSG_NOTE_ROOT_DAMAGED[] =
    u"keyscout: the hive's root key cell (%08X, from its base block) is damaged\n";
inline constexpr char16_t MSG_NOTE_NO_CONTROL_SET[] =
    u"keyscout: the root key has no subkey \"%s\", and no Select key with a REG_DWORD value Current to say "
    u"which control set is current\n";
inline constexpr char16_t MSG_NOTE_CONTROL_SET[] =
    u"keyscout: CurrentControlSet was read as %s, the control set that Select\\Current names\n";
// -t: a log not applied, then why, then the line end; or a log applied up to
// a damaged entry.
inline constexpr char16_t MSG_NOTE_LOG_NOT_APPLIED[] = u"keyscout: transaction log %s was not applied: ";
inline constexpr char16_t MSG_NOTE_LOG_CUT_SHORT[] =
    u"keyscout: transaction log %s was applied up to its entry %u, which %s: that entry and those after it "
    u"were not applied\n";
inline constexpr char16_t MSG_CAUSE_LOG_IS_HIVE[] = u"it is the hive itself";
inline constexpr char16_t MSG_CAUSE_LOG_CHECKSUM[] = u"its base block's checksum is wrong";
inline constexpr char16_t MSG_CAUSE_LOG_SIGNATURE[] = u"its base block has no \"regf\"";
inline constexpr char16_t MSG_CAUSE_LOG_SEQUENCES[] =
    u"its base block's two sequence numbers differ (the log itself was not written in full)";
inline constexpr char16_t MSG_CAUSE_LOG_FILE_TYPE[] = u"its base block's file type is not a log's";
inline constexpr char16_t MSG_CAUSE_LOG_OLDER[] = u"it is older than the hive";
inline constexpr char16_t MSG_CAUSE_LOG_NO_ENTRY[] = u"it holds no entry that follows the hive";
inline constexpr char16_t MSG_CAUSE_LOG_FIRST_ENTRY[] = u"its entry 1 %s";
inline constexpr char16_t MSG_CAUSE_LOG_NOTHING_NEW[] = u"its entries were all applied already, from another log";
inline constexpr char16_t MSG_CAUSE_LOG_NOT_NEWEST[] = u"another log is newer, and only the newest applies";
inline constexpr char16_t MSG_CAUSE_LOG_DIRTY_VECTOR[] = u"its dirty page vector is damaged";
inline constexpr char16_t MSG_CAUSE_LOG_OTHER_FORMAT[] = u"logs of the newer format were applied instead";
inline constexpr char16_t MSG_CAUSE_LOG_GAP[] =
    u"it starts at sequence %u, but %u was due next: the entries in between are missing";
inline constexpr char16_t MSG_CAUSE_ENTRY_HASH[] = u"does not match its hashes";
inline constexpr char16_t MSG_CAUSE_ENTRY_DAMAGED[] = u"is damaged";

}  // namespace keyscout
