// The on-disk record of a copy run: one line per entry, fields separated by
// '|' (a character no file name may hold), closed by the CRC-32 of the line.
// An entry is written with one WriteFile, so a killed process leaves whole
// entries. A power cut may leave any entry not yet flushed torn, zeros or
// missing; entries are flushed before the steps a power cut must not
// separate from them, so every entry after the first damaged one describes a
// step that had not begun, and the record is read up to there.
#include "copy/run_machinery.h"
#include "common/crc32.h"
#include "common/file_read.h"
#include "common/fileops.h"
#include "common/path_join.h"

#include <cstdio>
#include <cstring>

// Records of an earlier layout are not read: what they leave out is not
// what this one leaves out.
static const char RECORD_VERSION[] = "2";
static HANDLE record_handle = INVALID_HANDLE_VALUE;

const char* entry_letter(EntryKind kind)
{
    // One letter and its end each, so that a letter is a string of its own.
    static const char letters[] = "Q\0V\0E\0N\0C\0R\0P\0I\0K\0S";
    for (size_t i = 0; i < sizeof letters; i += 2)
        if (letters[i] == static_cast<char>(kind))
            return letters + i;
    return "";
}
static ULONGLONG record_end;   // just after the last whole entry

bool record_location(char* path, size_t cch)
{
    UINT n = GetWindowsDirectoryA(path, static_cast<UINT>(cch));
    return n > 0 && n < cch && path_cat(path, cch, "\\qsetup.rec");
}

// Created only where no record is: one left by another run (unfinished, or
// being written by a setup that runs beside this one) is never written over.
// Held without sharing for as long as it is open.
bool record_create(const char* path, const char* stamp)
{
    record_close();
    record_handle = fs_open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    if (record_handle == INVALID_HANDLE_VALUE)
        return false;
    record_end = 0;
    const char* header[] = {entry_letter(EntryKind::Header), RECORD_VERSION, stamp};
    if (record_append(header, 3, true))
        return true;
    const DWORD err = GetLastError();
    record_close();
    fs_delete(path);
    SetLastError(err);
    return false;
}

bool record_append(const char* const* fields, int count, bool flush)
{
    if (record_handle == INVALID_HANDLE_VALUE || count < 1)
        return false;
    std::string line;
    for (int i = 0; i < count; ++i) {
        if (i)
            line += '|';
        line += fields[i];
    }
    char tail[16];
    snprintf(tail, sizeof tail, "|%08lX\r\n",
             static_cast<unsigned long>(crc32_add(0, line.data(), line.size())));
    line += tail;
    if (fs_write(record_handle, line.data(), static_cast<DWORD>(line.size())) &&
        (!flush || fs_flush(record_handle))) {
        record_end += line.size();
        return true;
    }
    // An entry the caller is told failed is not left in the record: part of
    // a line on a full disk would sit before the next entry (a torn entry
    // before the last makes the whole record unreadable), and a "K" that
    // did not reach the disk must not commit a run the user was told ended.
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(record_end);
    if (!SetFilePointerEx(record_handle, to, nullptr, FILE_BEGIN) || !fs_set_end(record_handle))
        record_close();   // nothing more may go in after it
    return false;
}

bool record_flush()
{
    return record_handle != INVALID_HANDLE_VALUE && fs_flush(record_handle);
}

void record_close()
{
    if (record_handle != INVALID_HANDLE_VALUE)
        fs_close(record_handle);
    record_handle = INVALID_HANDLE_VALUE;
}

// One line without its "\r\n"; false when its check does not match.
static bool parse_line(const char* p, size_t n, RecordEntry* entry)
{
    if (n < 10 || p[n - 9] != '|')
        return false;
    char* end = nullptr;
    char hex[9];
    memcpy(hex, p + n - 8, 8);
    hex[8] = '\0';
    unsigned long want = strtoul(hex, &end, 16);
    if (end != hex + 8 || crc32_add(0, p, n - 9) != want)
        return false;
    entry->fields.clear();
    const char* field = p;
    const char* stop = p + n - 9;
    for (const char* q = p; q <= stop; ++q) {
        if (q == stop || *q == '|') {
            entry->fields.emplace_back(field, q);
            field = q + 1;
        }
    }
    return !entry->fields.empty() && entry->fields[0].size() == 1;
}

int record_read(const char* path, std::vector<RecordEntry>* entries, bool hold)
{
    entries->clear();
    if (hold)
        record_close();
    // Without sharing: a record another setup holds (it runs, or applies it)
    // is not read beside it.
    HANDLE h = hold ? fs_open(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING)
                    : CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return RECORD_NONE;
        return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION ? RECORD_BUSY
                                                                             : RECORD_UNREADABLE;
    }
    std::string text;
    if (!read_to_end(h, &text)) {
        hold ? fs_close(h) : static_cast<void>(CloseHandle(h));
        return RECORD_UNREADABLE;
    }

    // The longest run of whole entries from the start: every entry a later
    // step depends on was flushed before that step, so what follows the
    // first damaged one never reached the disk whole and was not acted on.
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find("\r\n", pos);
        RecordEntry entry;
        if (eol == std::string::npos || !parse_line(text.data() + pos, eol - pos, &entry))
            break;
        entries->push_back(std::move(entry));
        pos = eol + 2;
    }
    int state = RECORD_OK;   // no whole header: the run had not begun to change anything
    if (!entries->empty()) {
        const RecordEntry& head = entries->front();
        if (head.fields.size() < 2 || head.kind() != EntryKind::Header || head.fields[1] != RECORD_VERSION)
            state = RECORD_UNREADABLE;
    }
    if (hold && state == RECORD_OK) {
        // Entries go on after the whole ones; a torn tail goes first.
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(pos);
        if (SetFilePointerEx(h, to, nullptr, FILE_BEGIN) && fs_set_end(h)) {
            record_handle = h;
            record_end = pos;
            return state;
        }
        state = RECORD_UNREADABLE;
    }
    hold ? fs_close(h) : static_cast<void>(CloseHandle(h));
    return state;
}
