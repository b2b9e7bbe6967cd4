#pragma once

#include "engine/listing_host.h"
#include "engine/listing_run.h"
#include "engine/messages.h"
#include "platform/file_systems.h"
#include "platform/replacing_file.h"
#include "settings/listing_settings.h"

#include <QByteArray>

#include <memory>

// The listing engine: makes one list file from the settings and the window's source and target.
//
// Command1_Click is the run. It checks the source and the target, writes the header, then the
// source directory's files (WriteFileEntry), then, for listing types 1 and 2, calls WalkStep
// again and again: each step moves Dir1 one directory down ("Wri", with the directory's line in
// OutBuffer) or up ("Dir"), until "End". Every piece goes through FlushBuffer; the footer ends
// the list, which then replaces the target as a whole.
class Engines
{
public:
    // `waiting` is where a list waits to be complete; the default is right everywhere but in
    // tests of the other way.
    Engines(ListingSettings &settings, const ListingHost &host,
            ReplacingFile::Waiting waiting = ReplacingFile::Waiting::Unnamed);
    ~Engines();
    Engines(const Engines &) = delete;
    Engines &operator=(const Engines &) = delete;

    void Command1_Click();
    // Whether a run is in progress (it is, while one of its message boxes is open).
    bool running() const { return running_; }

    void SetUpdateTimer();
    void MakeTargetPath();
    void CheckFilesFound();
    void CheckTargetFile();
    void WalkStep();
    void WriteFileEntry();
    void WriteListHeader();
    void FlushBuffer();

    ListingSettings &settings;
    ListingRun run;
    WalkState walk;
    RunOutcome outcome; // how the last run ended

private:
    bool beginOutput();
    bool writeBody();
    bool endWriting();
    bool pieceFailed();
    void abandonRun();
    void showFailure(Message message, const QByteArray &path, int error);
    void reportProgress();
    void captureLevel(WalkLevel &level);
    void beginWalk();
    bool sourceStillThere();

    ListingHost host_;
    QByteArray sourcePath_;
    DirIdentity sourceIdentity_;
    FileSystems fileSystems_;
    std::unique_ptr<ReplacingFile> output_;
    int outputError_ = 0;
    bool running_ = false;
    QByteArray encoded_; // scratch for FlushBuffer
};
