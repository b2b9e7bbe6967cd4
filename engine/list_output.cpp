#include "engine/engines.h"

#include "engine/windows1252.h"
#include "platform/replacing_file.h"

// The pieces of a list go, in order, into a temporary file beside the target; the finished list
// then takes the target's place as a whole (see ReplacingFile). WritePos follows the bytes
// written, as if each piece were appended to the list itself.

bool Engines::beginOutput()
{
    const int error = output_->open(run.TargetPath);
    if (error != 0) {
        abandonRun();
        showFailure(Message::WriteFailed, run.TargetPath, error);
        return false;
    }
    run.FileNum = output_->descriptor();
    run.WritePos = 1;
    return true;
}

void Engines::FlushBuffer()
{
    // After a failed write the run stops at its next check; later pieces go nowhere.
    if (outputError_ != 0 || !output_->isOpen())
        return;
    encoded_.resize(0);
    appendWindows1252(encoded_, run.OutBuffer,
                      settings.HTML ? Unrepresentable::CharacterReference
                                    : Unrepresentable::QuestionMark);
    outputError_ = output_->write(encoded_.constData(), encoded_.size());
    run.WritePos = output_->size() + 1;
}

bool Engines::endWriting()
{
    const int error = output_->commit();
    run.FileNum = -1;
    if (error != 0) {
        abandonRun();
        showFailure(Message::WriteFailed, run.TargetPath, error);
        return false;
    }
    outcome.lists.push_back(output_->committed());
    if (host_.progress)
        host_.progress->listInPlace();
    return true;
}
