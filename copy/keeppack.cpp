// The earlier bytes of the files a run writes over in place, in one pack.
// Under Wine a rename aside, the new file's name (which makes Wine search the
// directory) and the delete at the commit cost three times what writing a
// small file over itself does; keeping its bytes costs one read and one
// appended write.
//
// An entry: a head ("QSK3", the path's length, the file's length, the offset
// of the first byte kept, the three file times), the file's full path as the
// disk spells it, the bytes from that offset to the end, the CRC-32 of all
// that and "QSKE". A file written over from its first difference keeps only
// the bytes from there: an update that changes a file's last block keeps one
// block, not the file. The entry is complete before the file is touched, so
// a process killed while writing it leaves a torn last entry for a file that
// was never changed; reading stops at the first entry that is not whole.
// The pack is flushed before any file it protects is written, but an entry
// being written when the power goes may reach the disk with its head and
// tail and zeros between: the CRC tells, and nothing of it goes back.
#include "copy/run_machinery.h"
#include "common/crc32.h"
#include "common/directories.h"
#include "common/fileops.h"

#include <cstring>
#include <string>
#include <vector>

static const char HEAD_MAGIC[4] = {'Q', 'S', 'K', '3'};
static const char TAIL_MAGIC[4] = {'Q', 'S', 'K', 'E'};
constexpr DWORD HEAD_SIZE = 48;
constexpr DWORD TAIL_SIZE = 8;   // the CRC, then TAIL_MAGIC
constexpr DWORD RESTORE_BLOCK = 65536;

struct PackHead {
    DWORD name_len;
    ULONGLONG size;
    ULONGLONG from;   // the bytes before it are not in the pack
    FILETIME created, accessed, written;
};

static void put_head(BYTE* out, const PackHead& h)
{
    memcpy(out, HEAD_MAGIC, 4);
    memcpy(out + 4, &h.name_len, 4);
    memcpy(out + 8, &h.size, 8);
    memcpy(out + 16, &h.from, 8);
    memcpy(out + 24, &h.created, 8);
    memcpy(out + 32, &h.accessed, 8);
    memcpy(out + 40, &h.written, 8);
}

static bool get_head(const BYTE* in, PackHead* h)
{
    if (memcmp(in, HEAD_MAGIC, 4) != 0)
        return false;
    memcpy(&h->name_len, in + 4, 4);
    memcpy(&h->size, in + 8, 8);
    memcpy(&h->from, in + 16, 8);
    memcpy(&h->created, in + 24, 8);
    memcpy(&h->accessed, in + 32, 8);
    memcpy(&h->written, in + 40, 8);
    return h->name_len > 0 && h->name_len < MAX_PATH && h->from <= h->size;
}

static bool read_all(HANDLE h, void* p, DWORD n)
{
    DWORD done = 0;
    return ReadFile(h, p, n, &done, nullptr) && done == n;
}

static bool seek(HANDLE h, ULONGLONG to)
{
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(to);
    return SetFilePointerEx(h, li, nullptr, FILE_BEGIN) != 0;
}

bool pack_open(Pack* pack, const char* path)
{
    // Never appended to one found there: its entries are not this run's.
    pack->file = fs_open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    LARGE_INTEGER zero{}, end{};
    if (pack->file != INVALID_HANDLE_VALUE &&
        SetFilePointerEx(pack->file, zero, &end, FILE_END)) {
        pack->end = static_cast<ULONGLONG>(end.QuadPart);
        return true;
    }
    pack_close(pack);
    return false;
}

void pack_close(Pack* pack)
{
    if (pack->file != INVALID_HANDLE_VALUE)
        fs_close(pack->file);
    *pack = Pack{};
}

bool pack_read(HANDLE file, const char* path, BYTE* buf, DWORD cb, PackStage* st)
{
    const size_t name_len = strlen(path);
    const DWORD front = HEAD_SIZE + static_cast<DWORD>(name_len);
    if (name_len == 0 || name_len >= MAX_PATH || cb <= front + TAIL_SIZE ||
        !GetFileTime(file, &st->created, &st->accessed, &st->written))
        return false;

    // A file that fits the buffer behind the head goes in with one write:
    // under Wine every call counts at thousands of small files.
    const DWORD room = cb - front - TAIL_SIZE;
    st->got = 0;
    if (!ReadFile(file, buf + front, room, &st->got, nullptr))
        return false;
    LARGE_INTEGER size;
    if (st->got < room)
        size.QuadPart = st->got;
    else if (!GetFileSizeEx(file, &size) || static_cast<ULONGLONG>(size.QuadPart) < st->got)
        return false;
    st->size = static_cast<ULONGLONG>(size.QuadPart);
    return true;
}

const BYTE* pack_bytes(const BYTE* buf, const char* path)
{
    return buf + HEAD_SIZE + strlen(path);
}

int pack_write(Pack* pack, HANDLE file, const char* path, BYTE* buf, DWORD cb,
               const PackStage& st, ULONGLONG from, ULONGLONG* old_size)
{
    PackHead head{};
    head.name_len = static_cast<DWORD>(strlen(path));
    head.size = st.size;
    head.created = st.created;
    head.accessed = st.accessed;
    head.written = st.written;
    const DWORD front = HEAD_SIZE + head.name_len;
    const DWORD got = st.got;
    const bool whole = got == st.size;
    // The head and path go over the bytes just before the first one kept, so
    // the entry leaves in one write. Where they would not fit there, or the
    // file was not read whole, every byte is kept.
    if (!whole || from > got || from < front)
        from = 0;
    head.from = from;
    BYTE* entry = buf + from;
    put_head(entry, head);
    memcpy(entry + HEAD_SIZE, path, head.name_len);
    DWORD first = front + got - static_cast<DWORD>(from);
    DWORD crc = crc32_add(0, entry, first);
    BYTE tail[TAIL_SIZE];
    memcpy(tail + 4, TAIL_MAGIC, sizeof TAIL_MAGIC);
    if (whole) {
        memcpy(tail, &crc, 4);
        memcpy(entry + first, tail, TAIL_SIZE);
        first += TAIL_SIZE;
    }
    bool ok = fs_write(pack->file, entry, first);
    ULONGLONG left = head.size - got;
    while (ok && left > 0) {
        DWORD want = left < cb ? static_cast<DWORD>(left) : cb;
        ok = read_all(file, buf, want) && fs_write(pack->file, buf, want);
        crc = crc32_add(crc, buf, want);
        left -= want;
    }
    if (ok && !whole) {
        memcpy(tail, &crc, 4);
        ok = fs_write(pack->file, tail, TAIL_SIZE);
    }
    if (!ok) {
        // A full disk, most likely: the pack goes back to its last whole entry.
        if (!seek(pack->file, pack->end) || !fs_set_end(pack->file))
            return PACK_BROKEN;
        return PACK_NOT_STORED;
    }
    pack->end += front + (head.size - from) + TAIL_SIZE;
    if (!seek(file, 0))
        return PACK_BROKEN;   // stored but not writable from the start: stop using the pack
    *old_size = head.size;
    return PACK_STORED;
}

// One entry's bytes back into its file, as it was: length and times too.
// A file whose first bytes are not in the pack must still hold them: the run
// never writes them, nor makes such a file shorter than they are. One that
// is gone or shorter was changed by someone else and is not made up.
static bool restore_entry(HANDLE pack, const char* path, const PackHead& head,
                          std::vector<BYTE>& buf)
{
    HANDLE file = fs_open(path, GENERIC_WRITE, 0, head.from ? OPEN_EXISTING : OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER has{};
    bool ok = !head.from ||
              (GetFileSizeEx(file, &has) && static_cast<ULONGLONG>(has.QuadPart) >= head.from);
    ok = ok && seek(file, head.from);
    ULONGLONG left = head.size - head.from;
    while (ok && left > 0) {
        DWORD want = left < buf.size() ? static_cast<DWORD>(left) : static_cast<DWORD>(buf.size());
        ok = read_all(pack, buf.data(), want) && fs_write(file, buf.data(), want);
        left -= want;
    }
    // On the disk before the pack and the record that hold these bytes go.
    ok = ok && fs_set_end(file) && fs_set_times(file, &head.created, &head.accessed, &head.written) &&
         fs_flush(file);
    fs_close(file);
    return ok;
}

bool pack_restore(const char* pack_path)
{
    HANDLE pack = CreateFileA(pack_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (pack == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;   // nothing was kept
    }
    LARGE_INTEGER total_li;
    if (!GetFileSizeEx(pack, &total_li)) {
        CloseHandle(pack);
        return false;
    }
    const ULONGLONG total = static_cast<ULONGLONG>(total_li.QuadPart);
    // A file written over twice in a run has two entries, the later one
    // holding what the first write left: the entries go back last first.
    struct Entry {
        PackHead head;
        std::string name;
        ULONGLONG body;
    };
    std::vector<Entry> entries;
    std::vector<BYTE> buf(RESTORE_BLOCK);
    ULONGLONG at = 0;
    for (;;) {
        BYTE raw[HEAD_SIZE];
        PackHead head;
        char name[MAX_PATH];
        if (total - at < HEAD_SIZE || !seek(pack, at) || !read_all(pack, raw, HEAD_SIZE) ||
            !get_head(raw, &head))
            break;
        const ULONGLONG body = at + HEAD_SIZE + head.name_len;
        // Whole only if the bytes and the tail are all there and check.
        const ULONGLONG kept = head.size - head.from;
        if (body > total || total - body < kept || total - body - kept < TAIL_SIZE ||
            !read_all(pack, name, head.name_len))
            break;
        DWORD crc = crc32_add(crc32_add(0, raw, HEAD_SIZE), name, head.name_len);
        for (ULONGLONG left = kept; left > 0;) {
            const DWORD want = left < buf.size() ? static_cast<DWORD>(left) : static_cast<DWORD>(buf.size());
            if (!read_all(pack, buf.data(), want))
                break;
            crc = crc32_add(crc, buf.data(), want);
            left -= want;
        }
        BYTE tail[TAIL_SIZE];
        if (!seek(pack, body + kept) || !read_all(pack, tail, TAIL_SIZE) ||
            memcmp(tail, &crc, 4) != 0 || memcmp(tail + 4, TAIL_MAGIC, 4) != 0)
            break;
        name[head.name_len] = '\0';
        if (!is_full_path(name))
            break;   // not a path this program wrote
        entries.push_back({head, name, body});
        at = body + kept + TAIL_SIZE;
    }
    bool ok = true;
    for (auto e = entries.rbegin(); e != entries.rend(); ++e)
        ok = seek(pack, e->body) && restore_entry(pack, e->name.c_str(), e->head, buf) && ok;
    CloseHandle(pack);
    return ok;
}
