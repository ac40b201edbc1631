#include "undo/undoable.h"

#include "undo/history.h"

namespace barwise {

UndoableChange::UndoableChange(std::string_view directory, std::string_view other,
                               FileSystem& inner)
    : directory_(directory),
      lock_(directory, other.empty() ? directory : other),
      inner_(inner),
      recording_(inner) {}

DataStatus UndoableChange::commit(std::string_view label) {
    // Without the lock another writer may have written between the change and now, and the
    // after-state would not be this change's alone; the operation itself then refused.
    if (!lock_.held()) return kSuccess;
    const ChangeList list = recording_.changes();
    if (list.empty()) return kSuccess;
    return UndoHistory(directory_).record(label, list, inner_);
}

std::string ChangeLabel(std::string_view what, std::string_view security, std::string_view rest) {
    std::string out(what);
    out += " of ";
    out += security;
    if (!rest.empty()) {
        out += ' ';
        out += rest;
    }
    return out;
}

namespace {
std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    return text;
}
}  // namespace

std::string HistoryNameOf(std::string_view symbol, std::string_view name) {
    return std::string(Trimmed(symbol).empty() ? Trimmed(name) : Trimmed(symbol));
}

std::string PortfolioName(std::string_view directory) {
    while (directory.size() > 1 && IsPathSeparator(directory.back())) directory.remove_suffix(1);
    const fs::path p = fs::path(std::string(directory)).lexically_normal();
    const std::string name = p.filename().string();
    return name.empty() || name == "." ? PortfolioLockKey(directory) : name;
}

std::string NotUndoableMessage(DataStatus status) {
    return "The change was made, but it cannot be undone: the undo history could not be written (" +
           std::string(DataStatusName(status)) + ").";
}

}  // namespace barwise
