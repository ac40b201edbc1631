// What every barwise-cli subcommand shares: the program name in messages, the failure
// messages and their exit statuses, and the one lookup of `SYMBOL | --file N`.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/cli.h"
#include "datafiles/master.h"
#include "datafiles/status.h"
#include "undo/undoable.h"

namespace barwise {

inline constexpr std::string_view kProgram = "barwise-cli";

// "barwise-cli: <text>" on standard error; exit status 1.
int Failure(const CliStreams& io, std::string_view text);
// "barwise-cli: <text>" on standard error; exit status 2.
int UsageFailure(const CliStreams& io, std::string_view text);
// "barwise-cli: <file>: <status name> (<what>)" on standard error; exit status 1.
int DataFailure(const CliStreams& io, std::string_view file, DataStatus status,
                std::string_view what = {});

// How messages name a security: by its symbol, or for a blank symbol field by its record
// (and its name, when it has one).
std::string SecurityLabel(const MasterRecord& record, int position);

// How the undo history names a security: its symbol text, else its name, else F<n> (UTF-8).
std::string HistoryName(const MasterRecord& record);

// True for an entry within its MASTER header's count (every XMASTER entry is): the entries
// a lookup reads and a rewrite changes.
bool WithinCount(const MasterFile& master, const SecurityId& id);

// Says on standard error that MASTER holds another number of records than its header says
// (with what is not done, `leftOut`, with the records after the header's count), and names
// an EMASTER or XMASTER set aside; true when the counts disagree.
bool NoteMasterCount(const CliStreams& io, const MasterFile& master, std::string_view leftOut = {});

// The security of DIR that SYMBOL (looked up as the window looks up a key: symbol or name,
// any letter case, sub-directory entries followed) or `--file N` (the entry of DIR's MASTER
// or XMASTER with file number N) names, with its record as it stands in the file. A MASTER
// whose header count disagrees with its records is a warning (`noteCount`); a record after
// the header's count is read by no lookup and changed by no rewrite, so --file N does not
// take it. Nothing when there is none (said, status set to 1).
struct SelectedSecurity {
    SecurityId id;
    MasterRecord record;
};
std::optional<SelectedSecurity> SelectSecurity(const CliStreams& io, const std::string& dir,
                                               const std::string& symbol,
                                               std::optional<int> fileNumber, int& status,
                                               bool noteCount = true);

// Adds a change just made to the undo history of its portfolio; says on standard error when
// the history could not keep it (the change stands; the exit status is not changed).
void RememberChange(const CliStreams& io, UndoableChange& change, std::string_view label);

// Declares `--file N` on a subcommand.
void AddFileOption(CLI::App& sub, std::optional<int>& fileNumber);

}  // namespace barwise
