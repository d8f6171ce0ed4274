#pragma once
// Where the groups are kept: in the local table files (the default: nothing to set
// up) or on a group server. The setup tool writes the choice into one small file; the
// program and the groups tool read it. The file never holds a password.
//
//   Linux:   ${XDG_CONFIG_HOME:-$HOME/.config}/Quillon/Haltguard IDs/store.conf
//   Windows: C:\Quillon\Haltguard IDs\store.conf
//
//   # comments and empty lines
//   server host=depot-db dbname=haltguard user=lane1
//
// No file, or a file holding the line "local", is the local files.
#include <stdexcept>
#include <string>

enum class TStoreKind { Local, Server };

struct TStoreChoice {
    TStoreKind kind = TStoreKind::Local;
    std::string connection;  // the server's connection string, for Server
    bool operator==(const TStoreChoice&) const = default;
};

// A choice file that cannot be read or makes no sense: the text names the file, the
// line and the fix.
class EStoreChoiceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string StoreChoiceFile();

// The choice in `text`, read from `file` (named in the errors).
TStoreChoice ParseStoreChoice(const std::string& text, const std::string& file);
// The file's text for a choice.
std::string FormatStoreChoice(const TStoreChoice& choice);

// The choice on this PC. Throws EStoreChoiceError.
TStoreChoice ReadStoreChoice();
// Writes the choice of a server, whole or not at all; a connection string with a
// password (or one that cannot be read) is refused with EStoreChoiceError.
void WriteServerChoice(const std::string& connection);
// Back to the local files: removes the file. False when there was none.
bool RemoveStoreChoice();
