// Makes the benchmark trees, empty files only:
//   lystora-bench-tree deep DIR   200 artists x 50 albums, 10 .mp3 and a cover .jpg in each album
//   lystora-bench-tree deep N DIR the same with N artists (N x 500 tracks)
//   lystora-bench-tree wide DIR   20,000 sub-directories of one .mp3 each
//   lystora-bench-tree flat N DIR one directory of N .mp3 ("Track 0000001.mp3"...)

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool makeDir(const std::string &path)
{
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
        return true;
    std::perror(path.c_str());
    return false;
}

bool makeFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        return false;
    }
    ::close(fd);
    return true;
}

bool deep(const std::string &root, int artists)
{
    for (int artist = 0; artist < artists; ++artist) {
        const std::string artistDir = root + "/Artist " + std::to_string(artist);
        if (!makeDir(artistDir))
            return false;
        for (int album = 0; album < 50; ++album) {
            const std::string albumDir = artistDir + "/Album " + std::to_string(album);
            if (!makeDir(albumDir) || !makeFile(albumDir + "/cover.jpg"))
                return false;
            for (int track = 1; track <= 10; ++track) {
                if (!makeFile(albumDir + "/" + std::to_string(track) + " - Track " +
                              std::to_string(track) + ".mp3"))
                    return false;
            }
        }
    }
    return true;
}

bool wide(const std::string &root)
{
    for (int i = 0; i < 20000; ++i) {
        const std::string dir = root + "/Album " + std::to_string(i);
        if (!makeDir(dir) || !makeFile(dir + "/track.mp3"))
            return false;
    }
    return true;
}

bool flat(const std::string &root, long count)
{
    // Created from the directory itself: a million full paths looked up one by one would take
    // longer than the benchmark.
    const int dir = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        std::perror(root.c_str());
        return false;
    }
    char name[32];
    for (long i = 1; i <= count; ++i) {
        std::snprintf(name, sizeof name, "Track %07ld.mp3", i);
        const int fd = ::openat(dir, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror(name);
            ::close(dir);
            return false;
        }
        ::close(fd);
    }
    ::close(dir);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const bool isFlat = argc == 4 && std::strcmp(argv[1], "flat") == 0;
    const bool isSmallDeep = argc == 4 && std::strcmp(argv[1], "deep") == 0;
    if (!isFlat && !isSmallDeep &&
        (argc != 3 || (std::strcmp(argv[1], "deep") != 0 && std::strcmp(argv[1], "wide") != 0))) {
        std::fprintf(stderr, "usage: %s deep|wide DIR, %s deep ARTISTS DIR, or %s flat COUNT DIR\n",
                     argv[0], argv[0], argv[0]);
        return 2;
    }
    const std::string root = argv[argc - 1];
    if (!makeDir(root))
        return 1;
    bool made;
    if (isFlat)
        made = flat(root, std::atol(argv[2]));
    else if (isSmallDeep)
        made = deep(root, std::atoi(argv[2]));
    else
        made = std::strcmp(argv[1], "deep") == 0 ? deep(root, 200) : wide(root);
    return made ? 0 : 1;
}
