#include "WDL/IPlug/IParam.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "WDL/IPlug/Containers.h"
#include "WDL/IPlug/IPlugStructs.h"

namespace {

// Truncation toward zero that saturates instead of overflowing; NaN gives 0.
int TruncToInt(double v)
{
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT_MAX;
  if (v <= -2147483648.0) return INT_MIN;
  return static_cast<int>(v);
}

double Clamp(double v, double lo, double hi)
{
  return v < lo ? lo : (v > hi ? hi : v);
}

// Decimals needed to show a step exactly: multiply by 10 until whole, at most 6.
int PrecisionForStep(double step)
{
  int precision = 0;
  double s = step;
  while (s != std::floor(s) && precision < 6)
  {
    ++precision;
    s *= 10.0;
  }
  return precision;
}

}  // namespace

IParam::IParam()
{
  mName[0] = mLabel[0] = mParamGroup[0] = 0;
}

void IParam::InitCommon(EParamType type, const char* name, const char* label, const char* group)
{
  if (mType == kTypeNone) mType = type;
  StrCopyBounded(mName, name, kMaxParamNameLen);
  StrCopyBounded(mLabel, label, kMaxParamNameLen);
  StrCopyBounded(mParamGroup, group, kMaxParamNameLen);
  mDisplayPrecision = 0;
}

void IParam::InitBool(const char* name, bool defaultVal, const char* label, const char* group)
{
  InitCommon(kTypeBool, name, label, group);
  mValue = mDefault = defaultVal ? 1.0 : 0.0;
  mMin = 0.0;
  mMax = 1.0;
  mStep = 1.0;
  mShape = 1.0;
  SetDisplayText(0, "off");
  SetDisplayText(1, "on");
}

void IParam::InitEnum(const char* name, int defaultVal, int nEnums, const char* label, const char* group)
{
  InitCommon(kTypeEnum, name, label, group);
  mMin = 0.0;
  mMax = std::fmax(1.0, static_cast<double>(nEnums) - 1.0);
  mStep = 1.0;
  mShape = 1.0;
  mDefault = defaultVal;
  mValue = Clamp(mDefault, mMin, mMax);
}

void IParam::InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label,
                     const char* group)
{
  InitCommon(kTypeInt, name, label, group);
  mMin = minVal;
  mMax = std::fmax(static_cast<double>(minVal) + 1.0, static_cast<double>(maxVal));
  mStep = 1.0;
  mShape = 1.0;
  mDefault = defaultVal;
  mValue = Clamp(mDefault, mMin, mMax);
}

void IParam::InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                        const char* label, const char* group, double shape)
{
  InitCommon(kTypeDouble, name, label, group);
  mMin = minVal;
  mMax = std::fmax(minVal + step, maxVal);
  mStep = step;
  mDisplayPrecision = PrecisionForStep(step);
  SetShape(shape);
  mDefault = defaultVal;
  if (!std::isnan(defaultVal)) mValue = Clamp(defaultVal, mMin, mMax);
}

void IParam::SetShape(double shape)
{
  if (shape > 0.0 && std::isfinite(shape)) mShape = shape;
}

void IParam::SetDisplayText(int value, const char* text)
{
  DisplayText entry;
  entry.mValue = value;
  StrCopyBounded(entry.mText, text, kMaxParamNameLen);
  mDisplayTexts.Add(entry);
}

void IParam::Set(double value)
{
  if (std::isnan(value)) return;
  mValue = Clamp(value, mMin, mMax);
}

void IParam::SetNormalized(double normalizedValue)
{
  if (std::isnan(normalizedValue)) return;
  double v = GetNonNormalized(normalizedValue);
  if (mType != kTypeDouble && mStep > 0.0) v = std::floor(v / mStep + 0.5) * mStep;
  Set(v);
}

double IParam::GetNormalized() const
{
  return GetNormalized(mValue);
}

double IParam::GetNormalized(double nonNormalizedValue) const
{
  if (std::isnan(nonNormalizedValue) || !(mMax > mMin)) return 0.0;
  const double v = Clamp(nonNormalizedValue, mMin, mMax);
  return std::pow((v - mMin) / (mMax - mMin), 1.0 / mShape);
}

double IParam::GetNonNormalized(double normalizedValue) const
{
  // Clamped first: pow of a negative base with a fractional shape is NaN, and a
  // host value outside 0..1 must not leave the range.
  const double n = std::isnan(normalizedValue) ? 0.0 : Clamp(normalizedValue, 0.0, 1.0);
  return mMin + (mMax - mMin) * std::pow(n, mShape);
}

int IParam::Int() const
{
  return TruncToInt(mValue);
}

void IParam::GetBounds(double* pLo, double* pHi) const
{
  if (pLo) *pLo = mMin;
  if (pHi) *pHi = mMax;
}

double IParam::DBToAmp() const
{
  return std::exp(mValue * 0.1151292546497);
}

const IParam::DisplayText* IParam::FindDisplayText(int value) const
{
  const DisplayText* p = mDisplayTexts.Get();
  const int n = mDisplayTexts.GetSize();
  for (int i = 0; i < n; ++i)
    if (p[i].mValue == value) return &p[i];
  return nullptr;
}

const char* IParam::GetLabelForHost() const
{
  const DisplayText* dt = FindDisplayText(TruncToInt(mValue));
  return (dt && dt->mText[0]) ? "" : mLabel;
}

void IParam::GetDisplayForHost(double value, bool normalized, char* str, int strSize, bool withDisplayText) const
{
  if (!str || strSize <= 0) return;
  if (normalized) value = GetNonNormalized(value);

  if (withDisplayText)
  {
    const DisplayText* dt = FindDisplayText(TruncToInt(value));
    if (dt && dt->mText[0])
    {
      StrCopyBounded(str, dt->mText, strSize);
      return;
    }
  }

  if (mNegateDisplay) value = -value + 0.0;  // + 0.0: no "-0" for zero

  IScopedCLocale cLocale;
  if (mDisplayPrecision == 0) snprintf(str, static_cast<size_t>(strSize), "%d", TruncToInt(value));
  else snprintf(str, static_cast<size_t>(strSize), "%.*f", mDisplayPrecision, value);
}

const char* IParam::GetDisplayText(int value) const
{
  const DisplayText* dt = FindDisplayText(value);
  return dt ? dt->mText : "";
}

const char* IParam::GetDisplayTextAtIdx(int idx, int* pValue) const
{
  if (idx < 0 || idx >= mDisplayTexts.GetSize()) return "";
  const DisplayText& dt = mDisplayTexts.Get()[idx];
  if (pValue) *pValue = dt.mValue;
  return dt.mText;
}

bool IParam::MapDisplayText(const char* str, int* pValue) const
{
  if (!str) return false;
  const DisplayText* p = mDisplayTexts.Get();
  const int n = mDisplayTexts.GetSize();
  for (int i = 0; i < n; ++i)
  {
    if (std::strcmp(p[i].mText, str) == 0)
    {
      if (pValue) *pValue = p[i].mValue;
      return true;
    }
  }
  return false;
}
