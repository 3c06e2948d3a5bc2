// SPDX-License-Identifier: GPL-3.0-or-later
#include "merge_split_command.h"

#include "app/text_table.h"
#include "tools/file_merge.h"
#include "tools/file_split.h"

namespace nyra::cli {

namespace {

TextTable programTexts(const std::string& programFolder, std::ostream& err) {
    TextTable texts([&err](const std::string& message) { err << message << '\n'; });
    texts.loadFrom(programFolder);
    return texts;
}

}  // namespace

int mergeCommand(const std::string& programFolder, const std::string& output,
                 const std::vector<std::string>& inputs, std::ostream& out, std::ostream& err) {
    const TextTable texts = programTexts(programFolder, err);
    const std::size_t slash = output.rfind('/');
    const std::string name = slash == std::string::npos ? output : output.substr(slash + 1);
    if (name.empty()) {
        err << texts.text(itext(154)) << '\n';
        return kExitFileToolBadInput;
    }
    // The folder part stays as given, so a relative output stays relative.
    const std::string path = name.find('.') == std::string::npos ? output + ".bin" : output;
    const MergeResult result = mergeFiles(path, inputs);
    err << mergeMessage(result, texts) << '\n';
    if (result.status != MergeStatus::Done)
        return kExitFileToolFailed;
    out << path << '\n';
    return kExitFileToolDone;
}

int splitCommand(const std::string& programFolder, const std::string& file,
                 const std::string& points, std::ostream& out, std::ostream& err) {
    const TextTable texts = programTexts(programFolder, err);
    if (points.empty()) {
        err << texts.text(itext(160)) << '\n';
        return kExitFileToolBadInput;
    }
    const std::string normalised = normaliseSplitPoints(points);
    if (!splitPointsValid(normalised)) {
        err << texts.text(itext(157)) << '\n' << normalised << '\n';
        return kExitFileToolBadInput;
    }
    const SplitResult result = splitFile(file, normalised);
    // The pieces written before a failure are there too; a script may want them.
    for (const std::string& piece : result.pieces)
        out << piece << '\n';
    err << splitMessage(result, texts) << '\n';
    return result.status == SplitStatus::Done ? kExitFileToolDone : kExitFileToolFailed;
}

}  // namespace nyra::cli
