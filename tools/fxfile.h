#pragma once
// Program (FXP) and bank (FXB) files, read and written on the host side from
// the published formats: big-endian "CcnK" containers holding either each
// parameter's normalised value ("FxCk", "FxBk") or the plug-in's opaque state
// chunk ("FPCh", "FBCh"). The chunk variants go through effGetChunk and
// effSetChunk and are used exactly when the plug-in sets effFlagsProgramChunks.
//
// Every load checks the whole file before it touches the plug-in: a file for
// another plug-in, a truncated file or a file of the wrong kind is refused
// with one line in *error and changes nothing.

#include "tools/vsthost.h"

#include <string>
#include <vector>

namespace vsthost {

using Bytes = std::vector<unsigned char>;

// The current program as a program file image, and back.
bool MakeProgramImage(Plugin& plugin, Bytes* out, std::string* error);
bool ApplyProgramImage(Plugin& plugin, const Bytes& image, std::string* error);
// All programs as a bank image, and back. Making a parameter bank of a
// plug-in with several programs visits each program and comes back to the
// current one with its live values intact.
bool MakeBankImage(Plugin& plugin, Bytes* out, std::string* error);
bool ApplyBankImage(Plugin& plugin, const Bytes& image, std::string* error);

// The same through files; errors name the file.
bool LoadProgramFile(Plugin& plugin, const std::string& path, std::string* error);
bool LoadBankFile(Plugin& plugin, const std::string& path, std::string* error);
bool SaveProgramFile(Plugin& plugin, const std::string& path, std::string* error);
bool SaveBankFile(Plugin& plugin, const std::string& path, std::string* error);

// Whole-file helpers (refuse files over 256 MiB: no program is that large).
bool ReadFileBytes(const std::string& path, Bytes* out, std::string* error);
bool WriteFileBytes(const std::string& path, const Bytes& data, std::string* error);

}  // namespace vsthost
