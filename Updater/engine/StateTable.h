#pragma once

#include <string>
#include <vector>

// The small files an update check keeps for the next one beside the
// products file (install failure counts, the times manifests were issued,
// ...): UTF-8 text, one entry per line, its fields separated by tabs, each
// line ended by CR LF. A file is rewritten whole and durably
// (system/FileWrite.h), so a check that dies while writing leaves the old
// file or the new one. Portable; nothing here logs: the owner of a file
// says what became of it.

typedef std::vector<std::wstring> StateRow;

// True when text can be a field of a line: no tab, carriage return or line
// feed. An empty field is a field.
bool FitsStateField(const std::wstring& text);

// The rows as the file's bytes. False, bytes untouched, when a field does
// not fit a line.
bool FormatStateRows(const std::vector<StateRow>& rows, std::string& bytes);

// Which rows a file may hold, beyond their count of fields: the owner's
// reading of each field (a count, a time, a name that is not empty).
typedef bool (*StateRowCheck)(const StateRow& row);

// The rows of a file's bytes that have fieldCount fields and pass check, in
// file order. False when any line did not (a line cut short or of another
// shape, text that is not UTF-8): the file is damaged, and rows holds the
// lines that could be read.
bool ParseStateRows(const std::string& bytes, size_t fieldCount, StateRowCheck check,
                    std::vector<StateRow>& rows);

// Where a damaged state file's bytes are kept for whoever looks into it:
// path + ".damaged".
std::wstring DamagedStatePath(const std::wstring& path);

// Moves the damaged file at path to DamagedStatePath (over an older copy),
// in one step: the file is there or aside, never lost. For files whose
// absence says as much as their damage (a journal that can't be read holds
// nothing to write back). False, the file where it was, on failure.
bool SetAsideDamagedFile(const std::wstring& path);

// One state file of rows, read when made and written back whole.
class CStateTable {
public:
    // How the file was found.
    enum State {
        kAbsent,    // no file: nothing recorded yet
        kWhole,     // every line read
        kRepaired,  // damaged: its bytes were kept at DamagedStatePath and
                    // the lines that could be read written in its place
        kUnusable,  // no path (no state folder), a file that is there but
                    // can't be read, or a damaged one that could not be
                    // repaired: what it says can't be known, and it is never
                    // written over
    };

    // Reads the file at path. A damaged file is first kept aside and then
    // rewritten with the rows that could be read: when either can't be
    // written, the file stays as it was and the table is unusable.
    CStateTable(const std::wstring& path, size_t fieldCount, StateRowCheck check);

    State GetState() const { return m_state; }
    bool IsUsable() const { return m_state != kUnusable; }
    const std::wstring& Path() const { return m_path; }

    // The rows, to be read or changed before Save.
    const std::vector<StateRow>& Rows() const { return m_rows; }
    std::vector<StateRow>& Rows() { return m_rows; }

    // Removes the rows whose field at index is value; true when any was.
    bool RemoveRows(size_t field, const std::wstring& value);

    // Writes the rows durably in place of the file, or removes the file
    // when there are none. False, with the file as it was, for an unusable
    // table, a row that does not fit, or a failed write.
    bool Save() const;

private:
    std::wstring m_path;
    size_t m_fieldCount;
    std::vector<StateRow> m_rows;
    State m_state;
};
