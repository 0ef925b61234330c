#include "tools/fxfile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vsthost {

namespace {

constexpr size_t kProgramHeader = 56;  // up to and including prgName
constexpr size_t kBankHeader = 156;    // up to and including future[124]
constexpr size_t kNameField = 28;
constexpr size_t kMaxFileSize = size_t(256) << 20;

VstInt32 Magic(const char* four) { return VstFourCC(four[0], four[1], four[2], four[3]); }

const VstInt32 kCcnK = Magic("CcnK");
const VstInt32 kFxCk = Magic("FxCk");
const VstInt32 kFPCh = Magic("FPCh");
const VstInt32 kFxBk = Magic("FxBk");
const VstInt32 kFBCh = Magic("FBCh");

struct Writer
{
  Bytes& out;
  void Int(VstInt32 v)
  {
    const uint32_t u = (uint32_t)v;
    out.push_back((unsigned char)(u >> 24));
    out.push_back((unsigned char)(u >> 16));
    out.push_back((unsigned char)(u >> 8));
    out.push_back((unsigned char)u);
  }
  void Float(float f)
  {
    uint32_t u;
    memcpy(&u, &f, 4);
    Int((VstInt32)u);
  }
  void Name(const std::string& name)
  {
    // 27 characters and the terminating zero, zero-padded.
    char field[kNameField] = {};
    memcpy(field, name.data(), std::min(name.size(), kNameField - 1));
    out.insert(out.end(), field, field + kNameField);
  }
  void Zeros(size_t n) { out.insert(out.end(), n, 0); }
  void Raw(const std::vector<char>& data) { out.insert(out.end(), data.begin(), data.end()); }
  void PatchInt(size_t at, VstInt32 v)
  {
    const uint32_t u = (uint32_t)v;
    out[at] = (unsigned char)(u >> 24);
    out[at + 1] = (unsigned char)(u >> 16);
    out[at + 2] = (unsigned char)(u >> 8);
    out[at + 3] = (unsigned char)u;
  }
};

// Callers check the size before reading.
VstInt32 IntAt(const Bytes& b, size_t at)
{
  return (VstInt32)(((uint32_t)b[at] << 24) | ((uint32_t)b[at + 1] << 16) | ((uint32_t)b[at + 2] << 8) |
                    (uint32_t)b[at + 3]);
}

float FloatAt(const Bytes& b, size_t at)
{
  const uint32_t u = (uint32_t)IntAt(b, at);
  float f;
  memcpy(&f, &u, 4);
  return f;
}

std::string NameAt(const Bytes& b, size_t at)
{
  size_t n = 0;
  while (n < kNameField && b[at + n]) ++n;
  return std::string(reinterpret_cast<const char*>(&b[at]), n);
}

std::string MagicText(VstInt32 m) { return FourCCString(m); }

bool CheckPlugin(Plugin& plugin, VstInt32 fxID, const char* what, std::string* error)
{
  if (fxID == plugin.Effect()->uniqueID) return true;
  *error = std::string("the ") + what + " is for plug-in " + FourCCString(fxID) + ", not " +
           FourCCString(plugin.Effect()->uniqueID);
  return false;
}

// The program name without the bytes a plug-in might have left behind.
std::string CleanName(const std::string& s) { return Printable(s); }

// Parameter values of a "FxCk" block at `at` with n values, checked.
bool ReadValues(const Bytes& b, size_t at, int n, std::vector<float>* values, std::string* error)
{
  values->clear();
  for (int i = 0; i < n; ++i)
  {
    const float v = FloatAt(b, at + 4 * (size_t)i);
    if (!std::isfinite(v))
    {
      *error = "parameter " + std::to_string(i) + " holds no number";
      return false;
    }
    // Normalised values live in 0..1; a writer's rounding slip is clamped.
    values->push_back(v < 0.f ? 0.f : (v > 1.f ? 1.f : v));
  }
  return true;
}

void ApplyValues(Plugin& plugin, const std::vector<float>& values)
{
  for (size_t i = 0; i < values.size(); ++i) plugin.SetParameter((int)i, values[i]);
}

void WriteProgramHeader(Writer& w, Plugin& plugin, VstInt32 fxMagic, const std::string& name)
{
  const AEffect* e = plugin.Effect();
  w.Int(kCcnK);
  w.Int(0);  // byteSize, patched once the size is known
  w.Int(fxMagic);
  w.Int(1);  // program format version
  w.Int(e->uniqueID);
  w.Int(e->version);
  w.Int(e->numParams);
  w.Name(name);
}

}  // namespace

bool MakeProgramImage(Plugin& plugin, Bytes* out, std::string* error)
{
  out->clear();
  Writer w{*out};
  const std::string name = CleanName(plugin.CurrentProgramName());
  if (plugin.UsesChunks())
  {
    std::vector<char> chunk;
    if (!plugin.GetChunk(true, &chunk))
    {
      *error = "the plug-in gave no program chunk";
      return false;
    }
    WriteProgramHeader(w, plugin, kFPCh, name);
    w.Int((VstInt32)chunk.size());
    w.Raw(chunk);
  }
  else
  {
    WriteProgramHeader(w, plugin, kFxCk, name);
    for (int i = 0; i < plugin.NumParams(); ++i) w.Float(plugin.GetParameter(i));
  }
  // byteSize counts what follows it (the published meaning).
  w.PatchInt(4, (VstInt32)(out->size() - 8));
  return true;
}

bool ApplyProgramImage(Plugin& plugin, const Bytes& b, std::string* error)
{
  if (b.size() < 12 || IntAt(b, 0) != kCcnK)
  {
    *error = "not a VST program file";
    return false;
  }
  const VstInt32 fxMagic = IntAt(b, 8);
  if (fxMagic == kFxBk || fxMagic == kFBCh)
  {
    *error = "a bank file, not a program file (load it with --fxb)";
    return false;
  }
  if (fxMagic != kFxCk && fxMagic != kFPCh)
  {
    *error = "not a VST program file (type " + MagicText(fxMagic) + ")";
    return false;
  }
  if (b.size() < kProgramHeader)
  {
    *error = "the program file is truncated";
    return false;
  }
  const VstInt32 version = IntAt(b, 12);
  if (version < 1 || version > 2)
  {
    *error = "unknown program file version " + std::to_string(version);
    return false;
  }
  if (!CheckPlugin(plugin, IntAt(b, 16), "program", error)) return false;
  const std::string name = CleanName(NameAt(b, 28));

  if (fxMagic == kFxCk)
  {
    const VstInt32 numParams = IntAt(b, 24);
    if (numParams != plugin.NumParams())
    {
      *error = "the program has " + std::to_string(numParams) + " parameters, the plug-in " +
               std::to_string(plugin.NumParams());
      return false;
    }
    if (b.size() < kProgramHeader + 4 * (size_t)numParams)
    {
      *error = "the program file is truncated";
      return false;
    }
    std::vector<float> values;
    if (!ReadValues(b, kProgramHeader, numParams, &values, error)) return false;
    ApplyValues(plugin, values);
  }
  else
  {
    if (!plugin.UsesChunks())
    {
      *error = "the program holds a state chunk, but the plug-in does not take chunks";
      return false;
    }
    if (b.size() < kProgramHeader + 4)
    {
      *error = "the program file is truncated";
      return false;
    }
    const VstInt32 size = IntAt(b, kProgramHeader);
    if (size <= 0 || b.size() - (kProgramHeader + 4) < (size_t)size)
    {
      *error = "the program file is truncated";
      return false;
    }
    const char* p = reinterpret_cast<const char*>(&b[kProgramHeader + 4]);
    plugin.Dispatch(effBeginSetProgram);
    const bool ok = plugin.SetChunk(true, std::vector<char>(p, p + size));
    plugin.Dispatch(effEndSetProgram);
    if (!ok)
    {
      *error = "the plug-in refused the program's state chunk";
      return false;
    }
  }
  if (!name.empty()) plugin.SetProgramName(name);
  return true;
}

bool MakeBankImage(Plugin& plugin, Bytes* out, std::string* error)
{
  out->clear();
  Writer w{*out};
  const AEffect* e = plugin.Effect();
  const int current = plugin.CurrentProgram();
  auto header = [&](VstInt32 fxMagic) {
    w.Int(kCcnK);
    w.Int(0);
    w.Int(fxMagic);
    w.Int(2);  // bank format version: has currentProgram
    w.Int(e->uniqueID);
    w.Int(e->version);
    w.Int(e->numPrograms);
    w.Int(current);
    w.Zeros(124);
  };
  if (plugin.UsesChunks())
  {
    std::vector<char> chunk;
    if (!plugin.GetChunk(false, &chunk))
    {
      *error = "the plug-in gave no bank chunk";
      return false;
    }
    header(kFBCh);
    w.Int((VstInt32)chunk.size());
    w.Raw(chunk);
  }
  else
  {
    header(kFxBk);
    const int numPrograms = plugin.NumPrograms();
    // Switching programs may throw away unsaved edits of the current one, so
    // its live values are kept aside and put back afterwards.
    std::vector<float> live;
    for (int i = 0; i < plugin.NumParams(); ++i) live.push_back(plugin.GetParameter(i));
    const std::string liveName = CleanName(plugin.CurrentProgramName());
    for (int p = 0; p < numPrograms; ++p)
    {
      std::vector<float> values = live;
      std::string name = liveName;
      if (p != current)
      {
        plugin.SetProgram(p);
        name = CleanName(plugin.CurrentProgramName());
        for (int i = 0; i < plugin.NumParams(); ++i) values[i] = plugin.GetParameter(i);
      }
      const size_t start = out->size();
      WriteProgramHeader(w, plugin, kFxCk, name);
      for (float v : values) w.Float(v);
      w.PatchInt(start + 4, (VstInt32)(out->size() - start - 8));
    }
    if (numPrograms > 1)
    {
      plugin.SetProgram(current);
      ApplyValues(plugin, live);
    }
  }
  w.PatchInt(4, (VstInt32)(out->size() - 8));
  return true;
}

bool ApplyBankImage(Plugin& plugin, const Bytes& b, std::string* error)
{
  if (b.size() < 12 || IntAt(b, 0) != kCcnK)
  {
    *error = "not a VST bank file";
    return false;
  }
  const VstInt32 fxMagic = IntAt(b, 8);
  if (fxMagic == kFxCk || fxMagic == kFPCh)
  {
    *error = "a program file, not a bank file (load it with --fxp)";
    return false;
  }
  if (fxMagic != kFxBk && fxMagic != kFBCh)
  {
    *error = "not a VST bank file (type " + MagicText(fxMagic) + ")";
    return false;
  }
  if (b.size() < kBankHeader)
  {
    *error = "the bank file is truncated";
    return false;
  }
  const VstInt32 version = IntAt(b, 12);
  if (version < 1 || version > 2)
  {
    *error = "unknown bank file version " + std::to_string(version);
    return false;
  }
  if (!CheckPlugin(plugin, IntAt(b, 16), "bank", error)) return false;
  const VstInt32 numPrograms = IntAt(b, 24);
  // Version 1 banks have no current program; their field is reserved.
  const VstInt32 current = version >= 2 ? IntAt(b, 28) : 0;

  if (fxMagic == kFBCh)
  {
    if (!plugin.UsesChunks())
    {
      *error = "the bank holds a state chunk, but the plug-in does not take chunks";
      return false;
    }
    if (b.size() < kBankHeader + 4)
    {
      *error = "the bank file is truncated";
      return false;
    }
    const VstInt32 size = IntAt(b, kBankHeader);
    if (size <= 0 || b.size() - (kBankHeader + 4) < (size_t)size)
    {
      *error = "the bank file is truncated";
      return false;
    }
    const char* p = reinterpret_cast<const char*>(&b[kBankHeader + 4]);
    if (!plugin.SetChunk(false, std::vector<char>(p, p + size)))
    {
      *error = "the plug-in refused the bank's state chunk";
      return false;
    }
    return true;
  }

  if (numPrograms < 0 || numPrograms > plugin.NumPrograms())
  {
    *error = "the bank has " + std::to_string(numPrograms) + " programs, the plug-in " +
             std::to_string(plugin.NumPrograms());
    return false;
  }
  // Read and check every program block before the first one is applied.
  struct Block
  {
    std::string name;
    std::vector<float> values;
  };
  std::vector<Block> blocks;
  size_t at = kBankHeader;
  for (VstInt32 p = 0; p < numPrograms; ++p)
  {
    const std::string where = "program " + std::to_string(p) + " of the bank: ";
    if (b.size() - at < kProgramHeader)
    {
      *error = where + "the bank file is truncated";
      return false;
    }
    if (IntAt(b, at) != kCcnK || IntAt(b, at + 8) != kFxCk)
    {
      *error = where + "not a parameter program";
      return false;
    }
    const VstInt32 numParams = IntAt(b, at + 24);
    if (numParams != plugin.NumParams())
    {
      *error = where + std::to_string(numParams) + " parameters, the plug-in has " +
               std::to_string(plugin.NumParams());
      return false;
    }
    if (b.size() - at - kProgramHeader < 4 * (size_t)numParams)
    {
      *error = where + "the bank file is truncated";
      return false;
    }
    Block block;
    block.name = CleanName(NameAt(b, at + 28));
    std::string why;
    if (!ReadValues(b, at + kProgramHeader, numParams, &block.values, &why))
    {
      *error = where + why;
      return false;
    }
    blocks.push_back(block);
    at += kProgramHeader + 4 * (size_t)numParams;
  }
  for (size_t p = 0; p < blocks.size(); ++p)
  {
    if (plugin.NumPrograms() > 1) plugin.SetProgram((int)p);
    ApplyValues(plugin, blocks[p].values);
    if (!blocks[p].name.empty()) plugin.SetProgramName(blocks[p].name);
  }
  if (plugin.NumPrograms() > 1 && !blocks.empty())
  {
    const int target = (current >= 0 && current < (VstInt32)blocks.size()) ? current : 0;
    plugin.SetProgram(target);
  }
  return true;
}

bool ReadFileBytes(const std::string& path, Bytes* out, std::string* error)
{
  out->clear();
  FILE* f = fopen(path.c_str(), "rb");
  if (!f)
  {
    *error = "cannot read " + path + ": " + strerror(errno);
    return false;
  }
  unsigned char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
  {
    out->insert(out->end(), buf, buf + n);
    if (out->size() > kMaxFileSize)
    {
      fclose(f);
      *error = "cannot read " + path + ": too large for a program or bank";
      return false;
    }
  }
  const bool failed = ferror(f) != 0;
  fclose(f);
  if (failed)
  {
    *error = "cannot read " + path;
    return false;
  }
  return true;
}

bool WriteFileBytes(const std::string& path, const Bytes& data, std::string* error)
{
  FILE* f = fopen(path.c_str(), "wb");
  if (!f)
  {
    *error = "cannot write " + path + ": " + strerror(errno);
    return false;
  }
  const bool written = fwrite(data.data(), 1, data.size(), f) == data.size();
  const bool closed = fclose(f) == 0;
  if (!written || !closed)
  {
    *error = "cannot write " + path;
    remove(path.c_str());
    return false;
  }
  return true;
}

bool LoadProgramFile(Plugin& plugin, const std::string& path, std::string* error)
{
  Bytes data;
  if (!ReadFileBytes(path, &data, error)) return false;
  std::string why;
  if (ApplyProgramImage(plugin, data, &why)) return true;
  *error = path + ": " + why;
  return false;
}

bool LoadBankFile(Plugin& plugin, const std::string& path, std::string* error)
{
  Bytes data;
  if (!ReadFileBytes(path, &data, error)) return false;
  std::string why;
  if (ApplyBankImage(plugin, data, &why)) return true;
  *error = path + ": " + why;
  return false;
}

bool SaveProgramFile(Plugin& plugin, const std::string& path, std::string* error)
{
  Bytes data;
  std::string why;
  if (!MakeProgramImage(plugin, &data, &why))
  {
    *error = "cannot save " + path + ": " + why;
    return false;
  }
  return WriteFileBytes(path, data, error);
}

bool SaveBankFile(Plugin& plugin, const std::string& path, std::string* error)
{
  Bytes data;
  std::string why;
  if (!MakeBankImage(plugin, &data, &why))
  {
    *error = "cannot save " + path + ": " + why;
    return false;
  }
  return WriteFileBytes(path, data, error);
}

}  // namespace vsthost
