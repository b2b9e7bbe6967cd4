#include "engine/engines.h"

#include "engine/dir_stack.h"
#include "engine/entry_lines.h"

#include <algorithm>

// The walk moves Dir1 one directory per step, depth first, in list order; see dir_stack.h for
// the stack it keeps its place in. Each open level keeps the sub-directory list it was read with
// (WalkLevel): the walk resumes a level by position, and positions in a list read again could
// have shifted under a tree that changed meanwhile (an album copied in during an automatic run),
// skipping a directory or listing one twice.

namespace {

enum class Entry {
    Skip,     // no line: unreadable, or a directory the walk stands in already (a link loop)
    LineOnly, // its line, not its contents
    Enter,
};

} // namespace

void Engines::captureLevel(WalkLevel &level)
{
    const int count = host_.Dir1->subDirCount();
    level.subDirs.clear();
    level.subDirs.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i)
        level.subDirs.push_back(host_.Dir1->subDirPath(i));
    level.read = true;
}

static void unreadable(SourceDirList &dir, WalkState &walk)
{
    ++walk.UnreadableDirs;
    if (walk.UnreadableNames.size() < kUnreadableNamed)
        walk.UnreadableNames.push_back(dir.path());
}

// What becomes of the directory Dir1 now shows. It is opened, but read only when it is to be
// entered: a directory met again, or a kernel interface, may be huge or endless.
static Entry entryOf(SourceDirList &dir, WalkState &walk, FileSystems &fileSystems,
                     WalkLevel &entered)
{
    if (dir.identity(&entered.identity) != 0) {
        unreadable(dir, walk);
        return Entry::Skip;
    }
    const bool ancestor =
        std::any_of(walk.Levels.begin(), walk.Levels.end(),
                    [&](const WalkLevel &open) { return open.identity == entered.identity; });
    if (ancestor)
        return Entry::Skip;
    if (walk.Entered.contains(entered.identity) || fileSystems.isPseudo(entered.identity.device)) {
        entered.read = true;
        entered.contentsListed = false;
        return Entry::LineOnly;
    }
    if (dir.readError() != 0) {
        unreadable(dir, walk);
        return Entry::Skip;
    }
    walk.Entered.insert(entered.identity);
    return Entry::Enter;
}

void Engines::WalkStep()
{
    run.FileIndex = 0;
    // A walk driven step by step from outside a run starts with the source level unknown.
    if (walk.Levels.empty() && !walk.DirStack.isEmpty())
        beginWalk();

    for (;;) {
        WalkLevel &level = walk.Levels.back();
        if (!level.read)
            captureLevel(level);
        const int index = dirStackTopIndex(walk.DirStack);

        if (index < int(level.subDirs.size())) {
            dirStackSetTopIndex(walk.DirStack, index + 1);
            const QByteArray &path = level.subDirs[std::size_t(index)];
            if (!ownFolders_.empty() &&
                isOwnFolder(level.identity, QByteArrayView(path).sliced(path.lastIndexOf('/') + 1)))
                continue;
            host_.Dir1->setPath(path);
            WalkLevel entered;
            if (entryOf(*host_.Dir1, walk, fileSystems_, entered) == Entry::Skip) {
                // Skipped with its line; the next sibling is tried in the same step.
                host_.Dir1->setPath(level.path);
                continue;
            }
            dirStackPush(walk.DirStack);
            entered.path = host_.Dir1->path();
            walk.Levels.push_back(std::move(entered));
            const QByteArrayView name = walk.Levels.back().name();
            appendPercentEncoded(run.UrlPath, name);
            run.UrlPath += QLatin1Char('/');
            putDirectoryLine(run.OutBuffer, settings, QString::fromUtf8(name));
            walk.StepReport = QStringLiteral("Wri");
            return;
        }

        dirStackPop(walk.DirStack);
        walk.Levels.pop_back();
        if (walk.DirStack.isEmpty()) {
            walk.StepReport = QStringLiteral("End");
            return;
        }
        host_.Dir1->setPath(walk.Levels.back().path);
        const qsizetype urlSlash =
            run.UrlPath.size() < 2
                ? -1
                : run.UrlPath.lastIndexOf(QLatin1Char('/'), run.UrlPath.size() - 2);
        run.UrlPath.truncate(urlSlash + 1);
        walk.StepReport = QStringLiteral("Dir");
        return;
    }
}

bool Engines::isOwnFolder(const DirIdentity &parent, QByteArrayView name) const
{
    return std::any_of(ownFolders_.begin(), ownFolders_.end(), [&](const PicturesFolder &own) {
        return own.parent == parent && own.name == name;
    });
}

void Engines::beginWalk()
{
    walk.Levels.clear();
    walk.Entered.clear();
    fileSystems_.refresh();
    WalkLevel source;
    host_.Dir1->identity(&source.identity);
    source.path = host_.Dir1->path();
    source.isSource = true;
    walk.Entered.insert(source.identity);
    walk.Levels.push_back(std::move(source));
}
