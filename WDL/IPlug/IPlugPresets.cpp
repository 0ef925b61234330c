// Presets, banks, the chunk version header, parameter propagation to the host,
// the source-code dumps, and the FXP/FXB program and bank files.
//
// Bank layout (SerializePresets), per preset in list order: int32 name length,
// the name without terminator, one initialised byte, and, only when
// initialised, the preset's state as SerializeState wrote it (no length: the
// reader relies on UnserializeState consuming exactly its own bytes).
//
// FXP/FXB containers are big-endian; the chunk inside them is native order.
#include "WDL/IPlug/IPlugBase.h"

#include "WDL/IPlug/Log.h"
#include "WDL/base64.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int kIPlugVersionMagic = 0x70666674;  // bytes "tffp" in native order
constexpr int kIPlugVersion = 0x00010000;
constexpr double kUnusedParamMarker = 9.999e-8;
constexpr const char* kUserPresetName = "user preset";

// The FXP/FXB field sizes.
constexpr int kFXPHeaderSize = 56;     // up to and including prgName
constexpr int kFXBHeaderSize = 156;    // up to and including future
constexpr int kFXPrgNameLen = 28;      // 27 characters and the terminator
constexpr int kFXBFutureLen = 124;

int FourCC(const char* s)
{
  return (int)(((unsigned)(unsigned char)s[0] << 24) | ((unsigned)(unsigned char)s[1] << 16) |
               ((unsigned)(unsigned char)s[2] << 8) | (unsigned)(unsigned char)s[3]);
}

uint32_t SwapBytes(uint32_t v)
{
  return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}

void PutBE32(ByteChunk* pChunk, int v)
{
  const uint32_t be = SwapBytes((uint32_t)v);
  pChunk->PutValue(&be);
}

void PutBEFloat(ByteChunk* pChunk, float f)
{
  uint32_t bits;
  memcpy(&bits, &f, sizeof(bits));
  PutBE32(pChunk, (int)bits);
}

void PutFixedString(ByteChunk* pChunk, const char* str, int fieldLen)
{
  char buf[kFXBFutureLen];
  memset(buf, 0, sizeof(buf));
  StrCopyBounded(buf, str, fieldLen);
  pChunk->PutBytes(buf, fieldLen);
}

// Big-endian readers over a file image: false when the field is not all there.
bool GetBE32(const ByteChunk& chunk, int pos, int* pV)
{
  uint32_t be;
  if (chunk.GetValue(&be, pos) < 0) return false;
  *pV = (int)SwapBytes(be);
  return true;
}

bool GetBEFloat(const ByteChunk& chunk, int pos, float* pF)
{
  int bits;
  if (!GetBE32(chunk, pos, &bits)) return false;
  memcpy(pF, &bits, sizeof(float));
  return true;
}

// Copies a fixed-size name field; a name that fills the field without a
// terminator is cut, never read past.
bool GetFixedString(const ByteChunk& chunk, int pos, int fieldLen, char* dst)
{
  char buf[kFXBFutureLen];
  if (chunk.GetBytes(buf, fieldLen, pos) < 0) return false;
  buf[fieldLen - 1] = 0;
  StrCopyBounded(dst, buf, fieldLen);
  return true;
}

bool ReadWholeFile(const char* path, ByteChunk* pChunk)
{
  FILE* fp = fopen(path, "rb");
  if (!fp) return false;
  bool ok = fseek(fp, 0, SEEK_END) == 0;
  const long size = ok ? ftell(fp) : -1;
  ok = ok && size >= 0 && size <= INT32_MAX && fseek(fp, 0, SEEK_SET) == 0;
  if (ok)
  {
    pChunk->Clear();
    ok = pChunk->Resize((int)size) == (int)size;
    if (ok && size > 0) ok = fread(pChunk->GetData(), 1, (size_t)size, fp) == (size_t)size;
  }
  fclose(fp);
  return ok;
}

bool WriteWholeFile(const char* path, const ByteChunk& chunk)
{
  FILE* fp = fopen(path, "wb");
  if (!fp) return false;
  bool ok = chunk.Size() == 0 || fwrite(chunk.GetData(), 1, (size_t)chunk.Size(), fp) == (size_t)chunk.Size();
  ok = (fclose(fp) == 0) && ok;
  return ok;
}

}  // namespace

void IPlugBase::InitChunkWithIPlugVer(ByteChunk* pChunk)
{
  pChunk->Clear();
  int magic = kIPlugVersionMagic;
  pChunk->PutValue(&magic);
  int ver = kIPlugVersion;
  pChunk->PutValue(&ver);
}

int IPlugBase::GetIPlugVerFromChunk(ByteChunk* pChunk, int* pPos)
{
  int magic = 0, ver = 0;
  if (*pPos < 0) return 0;
  const int afterMagic = pChunk->GetValue(&magic, *pPos);
  if (afterMagic < 0 || magic != kIPlugVersionMagic) return 0;
  const int afterVer = pChunk->GetValue(&ver, afterMagic);
  if (afterVer < 0)
  {
    *pPos = -1;
    return 0;
  }
  *pPos = afterVer;
  return ver;
}

IPreset* IPlugBase::GetNextUninitializedPreset()
{
  for (int i = 0; i < NPresets(); ++i)
    if (!GetPreset(i)->mInitialized) return GetPreset(i);
  return nullptr;
}

void IPlugBase::MakePreset(const char* name, ...)
{
  IPreset* pPreset = GetNextUninitializedPreset();
  if (!pPreset) return;
  pPreset->mInitialized = true;
  pPreset->SetName(name);
  pPreset->mChunk.Clear();

  va_list vp;
  va_start(vp, name);
  for (int i = 0; i < NParams(); ++i)
  {
    const IParam::EParamType type = GetParam(i)->Type();
    double v;
    if (type == IParam::kTypeBool || type == IParam::kTypeInt || type == IParam::kTypeEnum)
      v = (double)va_arg(vp, int);
    else
      v = va_arg(vp, double);
    pPreset->mChunk.PutValue(&v);
  }
  va_end(vp);
}

void IPlugBase::MakePresetFromNamedParams(const char* name, int nParamsNamed, ...)
{
  IPreset* pPreset = GetNextUninitializedPreset();
  if (!pPreset) return;
  pPreset->mInitialized = true;
  pPreset->SetName(name);
  pPreset->mChunk.Clear();

  const int n = NParams();
  std::unique_ptr<double[]> values(new double[n > 0 ? n : 1]);
  for (int i = 0; i < n; ++i) values[i] = kUnusedParamMarker;

  va_list vp;
  va_start(vp, nParamsNamed);
  for (int k = 0; k < nParamsNamed; ++k)
  {
    const int idx = va_arg(vp, int);
    IParam* pParam = GetParam(idx);
    // The value's type follows the parameter; an unknown index leaves us not
    // knowing how to read it, so reading stops there.
    if (!pParam) break;
    const IParam::EParamType type = pParam->Type();
    if (type == IParam::kTypeBool || type == IParam::kTypeInt || type == IParam::kTypeEnum)
      values[idx] = (double)va_arg(vp, int);
    else
      values[idx] = va_arg(vp, double);
  }
  va_end(vp);

  for (int i = 0; i < n; ++i)
  {
    if (values[i] == kUnusedParamMarker) values[i] = GetParam(i)->Value();
    pPreset->mChunk.PutValue(&values[i]);
  }
}

void IPlugBase::MakePresetFromChunk(const char* name, ByteChunk* pChunk)
{
  IPreset* pPreset = GetNextUninitializedPreset();
  if (!pPreset) return;
  pPreset->mInitialized = true;
  pPreset->SetName(name);
  pPreset->mChunk.PutChunk(pChunk);
}

void IPlugBase::MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk)
{
  if (sizeOfChunk < 0) sizeOfChunk = 0;
  ByteChunk presetChunk;
  if (presetChunk.Resize(sizeOfChunk) != sizeOfChunk) return;
  if (blob && sizeOfChunk > 0) WDL_Base64DecodePrefix(blob, presetChunk.GetData(), sizeOfChunk);
  MakePresetFromChunk(name, &presetChunk);
}

void IPlugBase::PruneUninitializedPresets()
{
  for (int i = 0; i < NPresets();)
  {
    IPreset* pPreset = GetPreset(i);
    if (!pPreset->mInitialized)
    {
      mPresets.Delete(i);
      delete pPreset;
    }
    else
    {
      ++i;
    }
  }
  if (mCurrentPresetIdx >= NPresets()) mCurrentPresetIdx = NPresets() > 0 ? NPresets() - 1 : 0;
}

void IPlugBase::MakeDefaultUserPresetName(char* str, int strSize)
{
  int n = 0;
  for (int i = 0; i < NPresets(); ++i)
    if (strstr(GetPreset(i)->mName, kUserPresetName)) ++n;
  snprintf(str, (size_t)strSize, "%s %d", kUserPresetName, n + 1);
}

bool IPlugBase::RestorePreset(int idx)
{
  IPreset* pPreset = GetPreset(idx);
  if (!pPreset) return false;

  if (!pPreset->mInitialized)
  {
    pPreset->mInitialized = true;
    char name[kMaxPresetNameLen];
    MakeDefaultUserPresetName(name, sizeof(name));
    pPreset->SetName(name);
    pPreset->mChunk.Clear();
    if (!SerializeState(&pPreset->mChunk)) return false;
  }
  else if (UnserializeState(&pPreset->mChunk, 0) <= 0)
  {
    return false;
  }

  mCurrentPresetIdx = idx;
  PresetsChangedByHost();
  RedrawParamControls();
  return true;
}

bool IPlugBase::RestorePreset(const char* name)
{
  if (!name || !name[0]) return false;
  for (int i = 0; i < NPresets(); ++i)
    if (!strcmp(GetPreset(i)->mName, name)) return RestorePreset(i);
  return false;
}

const char* IPlugBase::GetPresetName(int idx) const
{
  IPreset* pPreset = GetPreset(idx);
  return pPreset ? pPreset->mName : "";
}

void IPlugBase::ModifyCurrentPreset(const char* name)
{
  IPreset* pPreset = GetPreset(mCurrentPresetIdx);
  if (!pPreset) return;
  pPreset->mChunk.Clear();
  Trace(TRACELOC, "%d %s", mCurrentPresetIdx, pPreset->mName);
  SerializeState(&pPreset->mChunk);
  if (name && name[0]) pPreset->SetName(name);
}

bool IPlugBase::SerializePresets(ByteChunk* pChunk)
{
  for (int i = 0; i < NPresets(); ++i)
  {
    IPreset* pPreset = GetPreset(i);
    pChunk->PutString(pPreset->mName);
    Trace(TRACELOC, "%d %s", i, pPreset->mName);
    pChunk->PutFlag(pPreset->mInitialized);
    if (pPreset->mInitialized)
    {
      pChunk->PutChunk(&pPreset->mChunk);
      if (pChunk->Size() == 0) return false;
    }
  }
  return true;
}

int IPlugBase::UnserializePresets(ByteChunk* pChunk, int startPos)
{
  WDL_String name;
  int pos = startPos;
  for (int i = 0; pos >= 0 && i < NPresets(); ++i)
  {
    IPreset* pPreset = GetPreset(i);
    pos = pChunk->GetString(&name, pos);
    pPreset->SetName(name.Get());
    Trace(TRACELOC, "%d %s", i, pPreset->mName);
    pos = pChunk->GetFlag(&pPreset->mInitialized, pos);
    if (pos >= 0 && pPreset->mInitialized)
    {
      pos = UnserializeState(pChunk, pos);
      if (pos > 0)
      {
        pPreset->mChunk.Clear();
        SerializeState(&pPreset->mChunk);
      }
    }
  }
  RestorePreset(mCurrentPresetIdx);
  return pos;
}

void IPlugBase::OnParamReset()
{
  for (int i = 0; i < NParams(); ++i) OnParamChange(i);
}

void IPlugBase::DirtyParameters()
{
  IMutexLock lock(this);
  for (int i = 0; i < NParams(); ++i) InformHostOfParamChange(i, GetParam(i)->GetNormalized());
}

namespace {

// Base64 of a chunk for the dumps; false when it is empty or too long for the
// 2048-byte text buffer the dumps have always used.
bool EncodeChunk(const ByteChunk& chunk, char* buf, int bufSize)
{
  if (chunk.Size() > 1533) return false;
  buf[0] = 0;
  if (chunk.Size() == 0) return true;
  return WDL_Base64Encode(chunk.GetData(), chunk.Size(), buf, bufSize) >= 0;
}

}  // namespace

void IPlugBase::DumpPresetSrcCode(const char* filename, const char* paramEnumNames[])
{
  FILE* fp = filename ? fopen(filename, "w") : nullptr;
  if (!fp) return;
  IScopedCLocale cLocale;
  fprintf(fp, "  MakePresetFromNamedParams(\"%s\", %d", GetPresetName(mCurrentPresetIdx), NParams());
  for (int i = 0; i < NParams(); ++i)
  {
    IParam* pParam = GetParam(i);
    char valueText[64];
    switch (pParam->Type())
    {
      case IParam::kTypeBool: snprintf(valueText, sizeof(valueText), "%s", pParam->Value() >= 0.5 ? "true" : "false"); break;
      case IParam::kTypeInt:
      case IParam::kTypeEnum: snprintf(valueText, sizeof(valueText), "%d", pParam->Int()); break;
      default: snprintf(valueText, sizeof(valueText), "%.6f", pParam->Value()); break;
    }
    fprintf(fp, ",\n    %s, %s", paramEnumNames && paramEnumNames[i] ? paramEnumNames[i] : "", valueText);
  }
  fprintf(fp, ");\n");
  fclose(fp);
}

void IPlugBase::DumpPresetBlob(const char* filename)
{
  IPreset* pPreset = GetPreset(mCurrentPresetIdx);
  if (!pPreset) return;
  FILE* fp = filename ? fopen(filename, "w") : nullptr;
  if (!fp) return;
  char buf[2048];
  if (EncodeChunk(pPreset->mChunk, buf, sizeof(buf)))
  {
    fprintf(fp, "MakePresetFromBlob(\"%s\", \"", pPreset->mName);
    fprintf(fp, "%s\", %i);\n", buf, pPreset->mChunk.Size());
  }
  fclose(fp);
}

void IPlugBase::DumpBankBlob(const char* filename)
{
  FILE* fp = filename ? fopen(filename, "w") : nullptr;
  if (!fp) return;
  char buf[2048];
  for (int i = 0; i < NPresets(); ++i)
  {
    IPreset* pPreset = GetPreset(i);
    if (!EncodeChunk(pPreset->mChunk, buf, sizeof(buf))) continue;
    fprintf(fp, "MakePresetFromBlob(\"%s\", \"", pPreset->mName);
    fprintf(fp, "%s\", %i);\n", buf, pPreset->mChunk.Size());
  }
  fclose(fp);
}

// Program and bank files.

void IPlugBase::PutFXProgramHeader(ByteChunk* pChunk, int byteSize, bool chunkVariant, const char* name)
{
  PutBE32(pChunk, FourCC("CcnK"));
  PutBE32(pChunk, byteSize);
  PutBE32(pChunk, FourCC(chunkVariant ? "FPCh" : "FxCk"));
  PutBE32(pChunk, 1);
  PutBE32(pChunk, GetUniqueID());
  PutBE32(pChunk, GetEffectVersion(true));
  PutBE32(pChunk, NParams());
  PutFixedString(pChunk, name, kFXPrgNameLen);
}

bool IPlugBase::SaveProgramAsFXP(const WDL_String* pFileName)
{
  if (!pFileName || !pFileName->Get()[0]) return false;
  ByteChunk file;
  IPreset* pPreset = GetPreset(mCurrentPresetIdx);
  const char* name = pPreset ? pPreset->mName : "";

  if (DoesStateChunks())
  {
    ByteChunk state;
    InitChunkWithIPlugVer(&state);
    SerializeState(&state);
    PutFXProgramHeader(&file, state.Size() + 60, true, name);
    PutBE32(&file, state.Size());
    file.PutChunk(&state);
  }
  else
  {
    PutFXProgramHeader(&file, 0, false, name);
    for (int i = 0; i < NParams(); ++i) PutBEFloat(&file, (float)GetParam(i)->GetNormalized());
  }
  return WriteWholeFile(pFileName->Get(), file);
}

bool IPlugBase::SaveBankAsFXB(const WDL_String* pFileName)
{
  if (!pFileName || !pFileName->Get()[0]) return false;
  ByteChunk file;
  const bool chunkVariant = DoesStateChunks();
  ByteChunk state;
  if (chunkVariant)
  {
    InitChunkWithIPlugVer(&state);
    SerializePresets(&state);
  }

  PutBE32(&file, FourCC("CcnK"));
  PutBE32(&file, chunkVariant ? state.Size() + 160 : 0);
  PutBE32(&file, FourCC(chunkVariant ? "FBCh" : "FxBk"));
  PutBE32(&file, 2);
  PutBE32(&file, GetUniqueID());
  PutBE32(&file, GetEffectVersion(true));
  PutBE32(&file, NPresets());
  PutBE32(&file, mCurrentPresetIdx);
  PutFixedString(&file, "", kFXBFutureLen);

  if (chunkVariant)
  {
    PutBE32(&file, state.Size());
    file.PutChunk(&state);
  }
  else
  {
    for (int p = 0; p < NPresets(); ++p)
    {
      IPreset* pPreset = GetPreset(p);
      PutFXProgramHeader(&file, 0, false, pPreset->mName);
      // The stored preset, not the live values: its doubles in parameter order;
      // from the first one missing, 0.0.
      int pos = 0;
      for (int i = 0; i < NParams(); ++i)
      {
        double v = 0.0;
        if (pos >= 0) pos = pPreset->mChunk.GetValue(&v, pos);
        if (pos < 0) v = 0.0;
        PutBEFloat(&file, (float)GetParam(i)->GetNormalized(v));
      }
    }
  }
  return WriteWholeFile(pFileName->Get(), file);
}

bool IPlugBase::LoadProgramFromFXP(const WDL_String* pFileName)
{
  if (!pFileName || !pFileName->Get()[0]) return false;
  ByteChunk file;
  if (!ReadWholeFile(pFileName->Get(), &file)) return false;

  int chunkMagic = 0, fxMagic = 0, version = 0, fxID = 0;
  if (!GetBE32(file, 0, &chunkMagic) || !GetBE32(file, 8, &fxMagic) || !GetBE32(file, 12, &version) ||
      !GetBE32(file, 16, &fxID))
    return false;
  if (chunkMagic != FourCC("CcnK") || version != 1 || fxID != GetUniqueID()) return false;
  char prgName[kFXPrgNameLen] = {0};
  if (!GetFixedString(file, 28, kFXPrgNameLen, prgName)) return false;
  int pos = kFXPHeaderSize;

  IMutexLock lock(this);
  if (fxMagic == FourCC("FPCh") && DoesStateChunks())
  {
    pos += 4;  // chunkSize: the state reader knows its own length
    int ver = GetIPlugVerFromChunk(&file, &pos);
    (void)ver;
    UnserializeState(&file, pos);
  }
  else if (fxMagic == FourCC("FxCk"))
  {
    // A truncated program leaves the parameters it does not reach unchanged.
    for (int i = 0; i < NParams(); ++i, pos += 4)
    {
      float v;
      if (!GetBEFloat(file, pos, &v)) break;
      GetParam(i)->SetNormalized(v);
    }
  }
  else
  {
    return false;
  }

  ModifyCurrentPreset(prgName);
  RestorePreset(mCurrentPresetIdx);
  InformHostOfProgramChange();
  return true;
}

bool IPlugBase::LoadBankFromFXB(const WDL_String* pFileName)
{
  if (!pFileName || !pFileName->Get()[0]) return false;
  ByteChunk file;
  if (!ReadWholeFile(pFileName->Get(), &file)) return false;

  // Every header field must be there: a bank shorter than its header changes
  // nothing and is refused.
  int chunkMagic = 0, fxMagic = 0, fxID = 0, numPrograms = 0, currentProgram = 0;
  if (file.Size() < kFXBHeaderSize || !GetBE32(file, 0, &chunkMagic) || !GetBE32(file, 8, &fxMagic) ||
      !GetBE32(file, 16, &fxID) || !GetBE32(file, 24, &numPrograms) || !GetBE32(file, 28, &currentProgram))
    return false;
  if (chunkMagic != FourCC("CcnK") || fxID != GetUniqueID()) return false;
  int pos = kFXBHeaderSize;

  IMutexLock lock(this);
  if (fxMagic == FourCC("FBCh") && DoesStateChunks())
  {
    pos += 4;  // chunkSize
    GetIPlugVerFromChunk(&file, &pos);
    UnserializePresets(&file, pos);
    InformHostOfProgramChange();
    return true;
  }
  if (fxMagic != FourCC("FxBk")) return false;

  const int blockSize = kFXPHeaderSize + 4 * NParams();
  for (int p = 0; p < numPrograms; ++p, pos += blockSize)
  {
    int blockMagic = 0, blockFxMagic = 0, blockVersion = 0, blockNumParams = 0;
    char prgName[kFXPrgNameLen] = {0};
    if (!GetBE32(file, pos, &blockMagic) || !GetBE32(file, pos + 8, &blockFxMagic) ||
        !GetBE32(file, pos + 12, &blockVersion) || !GetBE32(file, pos + 24, &blockNumParams) ||
        !GetFixedString(file, pos + 28, kFXPrgNameLen, prgName))
      return false;
    if (blockMagic != FourCC("CcnK") || blockFxMagic != FourCC("FxCk") || blockVersion != 1 ||
        blockNumParams != NParams())
      return false;

    RestorePreset(p);
    for (int i = 0; i < NParams(); ++i)
    {
      float v;
      if (!GetBEFloat(file, pos + kFXPHeaderSize + 4 * i, &v)) break;  // the rest stay unchanged
      GetParam(i)->SetNormalized(v);
    }
    ModifyCurrentPreset(prgName);
  }
  RestorePreset(currentProgram);
  InformHostOfProgramChange();
  return true;
}
