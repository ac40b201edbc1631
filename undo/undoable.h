// A change made so that it can be undone: it holds the writer lock of the portfolios it
// changes, records every file the operation writes through fs(), and commit() adds what
// changed to the portfolio's history under the same lock.
//
//     UndoableChange change(directory);
//     const DataStatus s = RewriteSeries(request, id, change.fs());
//     change.commit("Split of ACME from 02/05/20");
#pragma once

#include <string>
#include <string_view>

#include "datafiles/changes.h"
#include "datafiles/portfoliolock.h"

namespace barwise {

class UndoableChange {
public:
    // `other`: a second portfolio the change writes into (a move or copy), or empty.
    explicit UndoableChange(std::string_view directory, std::string_view other = {},
                            FileSystem& inner = RealFileSystem());
    UndoableChange(const UndoableChange&) = delete;
    UndoableChange& operator=(const UndoableChange&) = delete;

    FileSystem& fs() { return recording_; }
    // What the operation changed so far.
    ChangeList changes() const { return recording_.changes(); }

    // Adds the change to the history of the first portfolio (nothing when no file changed).
    // kSuccess, or why the history could not keep it (the change itself stands).
    [[nodiscard]] DataStatus commit(std::string_view label);

private:
    std::string directory_;
    PortfolioLock lock_;
    FileSystem& inner_;
    RecordingFileSystem recording_;
};

// How the history names a change: "<what> of <security>[ <rest>]" ("Split of ACME from
// 02/05/20"), all UTF-8.
std::string ChangeLabel(std::string_view what, std::string_view security,
                        std::string_view rest = {});

// The repair that gives blank symbols the text of their names, as the history names it.
inline constexpr std::string_view kBlankSymbolRepairLabel = "Repair of blank symbols";

// How a label names a security: its symbol, or its name where the symbol is blank (the index
// file's Latin-1 texts, blanks trimmed).
std::string HistoryNameOf(std::string_view symbol, std::string_view name);

// The last part of a portfolio's path, as a label names it ("FUTURES" for "/q/FUTURES/").
std::string PortfolioName(std::string_view directory);

// "The change was made, but it cannot be undone: <status>."
std::string NotUndoableMessage(DataStatus status);

}  // namespace barwise
