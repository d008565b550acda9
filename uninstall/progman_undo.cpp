// Program Manager's side of the uninstall, over DDE as setup's own: the
// group setup created goes whole; from a group that existed before setup,
// only the items whose command lines lead into this installation. Nothing
// here is reported: Program Manager may be absent or silent, as for setup.
#include "uninstall/uninstall.h"
#include "common/path_join.h"
#include "integrate/integrate.h"

#include <cstdio>
#include <cstring>

static constexpr DWORD DDE_TIMEOUT = 3500;

struct Conversation {
    DWORD inst = 0;
    HCONV conv = nullptr;
    HSZ serv = nullptr;
    Conversation() { open_dde(&inst, &conv, &serv); }
    ~Conversation() { close_dde(&inst, &conv, &serv); }
};

static void execute(const Conversation& c, const char* cmd)
{
    if (c.conv != nullptr)
        DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<char*>(cmd)),
                             static_cast<DWORD>(strlen(cmd) + 1), c.conv, nullptr, 0, XTYP_EXECUTE,
                             DDE_TIMEOUT, nullptr);
}

// The CF_TEXT answer to a request for item, up to its first NUL; empty when none came.
static std::string request(const Conversation& c, const char* item)
{
    std::string out;
    if (c.conv == nullptr)
        return out;
    HSZ hitem = DdeCreateStringHandleA(c.inst, item, CP_WINANSI);
    if (hitem == nullptr)
        return out;
    HDDEDATA data = DdeClientTransaction(nullptr, 0, c.conv, hitem, CF_TEXT, XTYP_REQUEST,
                                         DDE_TIMEOUT, nullptr);
    if (data != nullptr) {
        DWORD cb = DdeGetData(data, nullptr, 0, 0);
        out.resize(cb);
        if (cb > 0)
            DdeGetData(data, reinterpret_cast<LPBYTE>(&out[0]), cb, 0);
        out.resize(strlen(out.c_str()));
        DdeFreeDataHandle(data);
    }
    DdeFreeStringHandle(c.inst, hitem);
    return out;
}

void remove_group(const char* group)
{
    char cmd[WORK_CCH];
    if (snprintf(cmd, sizeof cmd, "[DeleteGroup(\"%s\")]", group) >= static_cast<int>(sizeof cmd))
        return;
    Conversation c;
    execute(c, cmd);
}

// The next comma-separated field of line from *pos; a field in quotes may hold commas.
static std::string field(const std::string& line, size_t* pos)
{
    size_t p = *pos;
    std::string out;
    if (p < line.size() && line[p] == '"') {
        size_t end = line.find('"', p + 1);
        if (end == std::string::npos)
            end = line.size();
        out = line.substr(p + 1, end - p - 1);
        p = end;
    }
    size_t comma = line.find(',', p);
    if (p == *pos)
        out = line.substr(p, comma == std::string::npos ? std::string::npos : comma - p);
    *pos = comma == std::string::npos ? line.size() : comma + 1;
    return out;
}

// A group's contents: a line about the group, then one per item beginning
// with its name and its command line.
void group_items(const char* text, std::vector<std::pair<std::string, std::string>>* items)
{
    items->clear();
    std::string all = text;
    bool first = true;
    for (size_t start = 0; start < all.size();) {
        size_t lf = all.find('\n', start);
        std::string line = all.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
        start = lf == std::string::npos ? all.size() : lf + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (first || line.empty()) {
            first = false;
            continue;
        }
        size_t pos = 0;
        std::string name = field(line, &pos);
        std::string command = field(line, &pos);
        if (!command.empty() && command.front() == '"' && command.back() == '"' && command.size() > 1)
            command = command.substr(1, command.size() - 2);
        items->emplace_back(name, command);
    }
}

// A name that can stand in an item command without ending it early.
static bool plain_item_name(const std::string& name)
{
    return !name.empty() && name.find_first_of("()[],\"") == std::string::npos;
}

void remove_items(const char* dir)
{
    static const char* const files[] = {"quillon.exe", "uinstall.exe", "readme.wri"};
    char own[3][WORK_CCH];
    for (int i = 0; i < 3; ++i)
        if (!BuildPath(dir, files[i], own[i], WORK_CCH))
            return;
    // One conversation per request, and the commands in one of their own:
    // Wine's DDE server follows the data of a request with a positive
    // acknowledgement as well, which the next transaction of the same
    // conversation takes for its answer.
    const std::string groups = request(Conversation(), "PROGMAN");
    std::vector<std::pair<std::string, std::string>> items;
    std::vector<std::string> commands;
    char cmd[WORK_CCH];
    for (size_t start = 0; start < groups.size();) {
        size_t lf = groups.find('\n', start);
        if (lf == std::string::npos)
            break;   // a line not ended is not a whole name
        std::string group = groups.substr(start, lf - start);
        start = lf + 1;
        if (!group.empty() && group.back() == '\r')
            group.pop_back();
        if (!valid_group_name(group.c_str()) || group.size() >= PATH_CCH)
            continue;
        group_items(request(Conversation(), group.c_str()).c_str(), &items);
        bool shown = false;
        for (const auto& item : items) {
            bool ours = false;
            for (const auto& path : own)
                ours = ours || _stricmp(item.second.c_str(), path) == 0;
            if (!ours || !plain_item_name(item.first))
                continue;
            // Item commands act on the group shown last.
            if (!shown) {
                snprintf(cmd, sizeof cmd, "[ShowGroup(\"%s\", 1)]", group.c_str());
                commands.push_back(cmd);
                shown = true;
            }
            if (snprintf(cmd, sizeof cmd, "[DeleteItem(%s)]", item.first.c_str()) <
                static_cast<int>(sizeof cmd))
                commands.push_back(cmd);
        }
    }
    if (commands.empty())
        return;
    Conversation c;
    for (const std::string& command : commands)
        execute(c, command.c_str());
}
