// The uninstall from start to end: what the installation holds, the
// question, the files, the registry, Program Manager, the uninstaller's own
// file and the directories left empty, then what stayed. Never beside a
// setup or another uninstall: the lock is taken before anything is read.
//
// Killed or cut off by a power failure, the next start finds:
// - during the files: the run's record, applied before anything else (the
//   files put back, or, once the run was marked done, the kept ones
//   deleted), then the question again;
// - after the files: the uninstall entry still there, so the question again
//   and the steps after the files done once more; each of them can be (the
//   counts through their note in the entry, see registry_undo.cpp);
// - after the entry went: the uninstaller and the manifest, and nothing of
//   the product: it says there is nothing to remove and removes itself.
#include "uninstall/uninstall.h"
#include "uninstall/ids.h"
#include "common/at_restart.h"
#include "common/path_join.h"
#include "common/run_lock.h"
#include "copy/copy.h"
#include "integrate/integrate.h"
#include "dialogs/dialogs.h"

#include <cstring>
#include <iterator>

// Before the lock nothing of the installation may be read (a setup may be
// writing it, and would find a file open here in use), so its language is
// not known yet: the user's own, when the message is there in it, else English.
static WORD users_language(WORD message)
{
    const WORD primary = PRIMARYLANGID(GetUserDefaultLangID());
    for (size_t i = 0; i < std::size(lang); ++i)
        if (PRIMARYLANGID(lang[i]) == primary &&
            find_localized(RT_DIALOG, MAKEINTRESOURCEA(ALERT_BASE + message), static_cast<WORD>(i)))
            return static_cast<WORD>(i);
    return 0;
}

// The group the uninstall entry names: an uninstall started without
// arguments (the group's own item) removes the group setup created too.
static void group_of_entry(const ORIGIN* where, const std::string& entry, UNARGS* args)
{
    char own[WORK_CCH];
    UNARGS from;
    if (!args->group_given && format_command_line(where->dir, "uinstall.exe", own, WORK_CCH) &&
        parse_args(entry.c_str() + strlen(own), &from) && from.group_given) {
        args->group_given = true;
        args->group = from.group;
    }
}

// The uninstaller's file and the manifest go last of all (while they are
// there the uninstall can be started again), then each directory the copy
// made that is empty now.
static void finish(ORIGIN* where, const PLAN& plan)
{
    if (where->copy) {
        let_origin_go(where);
        if (!DeleteFileA(where->exe))
            remove_at_restart(where->exe);
    } else {
        remove_at_restart(where->exe);
    }
    char manifest[PATH_CCH];
    if (BuildPath(where->dir, MANIFEST_NAME, manifest, sizeof manifest))
        DeleteFileA(manifest);
    for (const std::string& dir : plan.dirs)
        RemoveDirectoryA(dir.c_str());
}

// The files below dir, each that goes at the next restart (a running
// program's, which the removal could rename but not delete) said to.
static std::vector<std::string> left_in(const char* dir)
{
    std::vector<std::string> left = files_below(dir);
    char note[NAME_CCH];
    get_string(langcode, USTR_AT_RESTART, note, sizeof note);
    for (std::string& file : left) {
        char full[PATH_CCH];
        if (BuildPath(dir, file.c_str(), full, sizeof full) && goes_at_restart(full))
            file += note;
    }
    return left;
}

static void remove_from_progman(const UNARGS& args, const char* dir)
{
    if (!args.group_given) {
        remove_items(dir);
    } else if (args.group.size() < static_cast<size_t>(PATH_CCH) &&
               valid_group_name(args.group.c_str())) {
        remove_group(args.group.c_str());
    } else {
        // Sent as it stands, the name could end the command and start another.
        alert_naming(nullptr, UALERT_BAD_GROUP, args.group.c_str());
    }
}

int uninstall(ORIGIN* where, const char* cmdline)
{
    if (!take_run_lock()) {
        langcode = users_language(UALERT_RUNNING);
        alert(nullptr, UALERT_RUNNING);   // with /SILENT too: nothing was done
        return EXIT_NOT_FINISHED;
    }
    const char* dir = where->dir;
    std::vector<MANIFEST_FILE> files;
    std::vector<std::string> refused;
    char manifest[PATH_CCH];
    const bool medium = on_medium(dir);
    int read = MANIFEST_MISSING;
    if (!medium && BuildPath(dir, MANIFEST_NAME, manifest, sizeof manifest))
        read = manifest_read(manifest, dir, &files, &refused);
    // Every message is in the installation's language, the usage message too.
    PLAN plan;
    make_plan(dir, where->exe, files, &plan);
    langcode = plan.lcode;

    UNARGS args;
    if (!parse_args(cmdline, &args)) {
        alert(nullptr, UALERT_USAGE);
        return EXIT_USAGE;
    }
    if (medium) {
        if (!args.silent)
            alert(nullptr, UALERT_NOTHING);
        return EXIT_DONE;
    }
    if (read != MANIFEST_OK) {
        alert(nullptr, UALERT_NO_MANIFEST);
        return EXIT_NO_MANIFEST;
    }
    switch (settle_earlier(nullptr)) {
    case RUN_NONE_FOUND:
        break;
    case RUN_LEFT_FOR_NEXT_START:
        return EXIT_NOT_FINISHED;
    default:
        make_plan(dir, where->exe, files, &plan);   // files may be back in place
        break;
    }

    std::string entry;
    const bool ours = entry_is_ours(dir, &entry);
    if (ours)
        group_of_entry(where, entry, &args);
    const std::string tmpl = template_of(files);
    if (!ours && plan.files.empty() && tmpl.empty() && !remove_classes(dir, false)) {
        if (!args.silent)
            alert(nullptr, UALERT_NOTHING);
        finish(where, plan);
        return EXIT_DONE;
    }
    if (!args.silent && alert(nullptr, UALERT_QUESTION) != 1)
        return EXIT_DECLINED;
    if (!refused.empty())
        show_list(UALERT_REFUSED, refused, manifest);

    std::vector<std::string> remove = plan.files;
    if (!tmpl.empty())
        remove.push_back(tmpl);
    switch (remove_files(nullptr, remove)) {
    case PUT_BACK:
        return EXIT_DECLINED;
    case NOT_BEGUN:
        alert(nullptr, UALERT_NOT_BEGUN);
        return EXIT_NOT_FINISHED;
    default:
        break;
    }
    if (ours)
        lower_counts();
    remove_classes(dir, true);
    remove_from_progman(args, dir);
    if (ours)
        remove_entry();
    finish(where, plan);

    if (!args.silent) {
        const std::vector<std::string> left = left_in(dir);
        if (left.empty())
            alert(nullptr, UALERT_DONE);
        else
            show_list(UALERT_LEFT, left, dir);
    }
    return EXIT_DONE;
}
