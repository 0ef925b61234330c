// IParam: one automatable parameter.
//
// It holds a plain value in its own range and units and converts to and from
// the normalised 0..1 value that hosts and editor controls exchange:
//   plain = min + (max - min) * pow(normalised, shape)
//   normalised = pow((clamp(plain) - min) / (max - min), 1 / shape)
// Bool, int and enum values (and untyped ones) are rounded to the nearest step,
// halves upward; doubles are not. Every value a parameter stores lies in
// [min, max]; NaN is refused and leaves the value as it was.
//
// Names, labels, groups and display texts are fixed fields of kMaxParamNameLen
// bytes; longer texts are cut to 31 characters. Numbers are formatted in the "C"
// locale whatever the host has set. Not thread-safe: the plug-in's mutex guards it.
#ifndef IPLUG_IPARAM_H_
#define IPLUG_IPARAM_H_

#include "WDL/heapbuf.h"

static const int kMaxParamNameLen = 32;
// Size of the text GetDisplayForHost writes when no size is given.
static const int kMaxParamDisplayLen = 32;

class IParam
{
public:
  enum EParamType : int
  {
    kTypeNone = 0,
    kTypeBool = 1,
    kTypeInt = 2,
    kTypeEnum = 3,
    kTypeDouble = 4
  };

  IParam();
  ~IParam() = default;
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  // Each Init sets the type only while it is still kTypeNone, copies name, label
  // and group (null counts as ""), and resets the display precision to 0 unless
  // stated.
  // 0/1 with the display texts "off" and "on".
  void InitBool(const char* name, bool defaultVal, const char* label = "", const char* group = "");
  // 0 .. max(1, nEnums - 1); the caller adds the texts with SetDisplayText.
  void InitEnum(const char* name, int defaultVal, int nEnums, const char* label = "", const char* group = "");
  // minVal .. max(minVal + 1, maxVal).
  void InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label = "",
               const char* group = "");
  // minVal .. max(minVal + step, maxVal); the display precision follows step (0.1
  // gives 1 decimal, 0.25 gives 2, at most 6); shape is kept when 0.0 is passed.
  void InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                  const char* label = "", const char* group = "", double shape = 1.0);

  // Ignored for 0.0, negative or NaN shapes.
  void SetShape(double shape);
  // Appends (value, text); an existing entry for value is not replaced.
  void SetDisplayText(int value, const char* text);
  // Displays (and parses) the value with its sign inverted.
  void NegateDisplay() { mNegateDisplay = true; }
  bool GetNegateDisplay() const { return mNegateDisplay; }

  // The plain value, clamped to [min, max].
  void Set(double value);
  void SetNormalized(double normalizedValue);
  double GetNormalized() const;
  double GetNormalized(double nonNormalizedValue) const;
  double GetNonNormalized(double normalizedValue) const;

  double Value() const { return mValue; }
  // The value truncated toward zero (saturating at the int range).
  int Int() const;
  bool Bool() const { return mValue >= 0.5; }
  EParamType Type() const { return mType; }
  double GetDefault() const { return mDefault; }
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetStep() const { return mStep; }
  double GetShape() const { return mShape; }
  int GetPrecision() const { return mDisplayPrecision; }
  void GetBounds(double* pLo, double* pHi) const;
  // exp(value * ln(10) / 20): the gain of a value in decibels.
  double DBToAmp() const;

  const char* GetNameForHost() const { return mName; }
  // "" while a non-empty display text stands for the current value, else the label.
  const char* GetLabelForHost() const;
  const char* GetParamGroupForHost() const { return mParamGroup; }

  // Writes the text for value (plain, or normalised when normalized) into str of
  // strSize bytes, cut to fit: the display text for the value truncated when
  // withDisplayText and there is a non-empty one, else the number (negated when
  // asked) with "%d" of the truncated value for precision 0 or "%.*f".
  void GetDisplayForHost(double value, bool normalized, char* str, int strSize, bool withDisplayText = true) const;
  // The same into a buffer of kMaxParamDisplayLen bytes.
  void GetDisplayForHost(double value, bool normalized, char* str, bool withDisplayText = true) const
  {
    GetDisplayForHost(value, normalized, str, kMaxParamDisplayLen, withDisplayText);
  }
  // The current value.
  void GetDisplayForHost(char* str, bool withDisplayText = true) const
  {
    GetDisplayForHost(mValue, false, str, kMaxParamDisplayLen, withDisplayText);
  }

  int GetNDisplayTexts() const { return mDisplayTexts.GetSize(); }
  // The first entry's text for value, or "".
  const char* GetDisplayText(int value) const;
  // Entry idx's text (its value into *pValue when not null); "" outside the table.
  const char* GetDisplayTextAtIdx(int idx, int* pValue = nullptr) const;
  // The value of the first entry whose text equals str exactly; false for none.
  bool MapDisplayText(const char* str, int* pValue) const;

private:
  struct DisplayText
  {
    int mValue;
    char mText[kMaxParamNameLen];
  };

  void InitCommon(EParamType type, const char* name, const char* label, const char* group);
  const DisplayText* FindDisplayText(int value) const;

  EParamType mType = kTypeNone;
  double mValue = 0.0;
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mShape = 1.0;
  double mDefault = 0.0;
  int mDisplayPrecision = 0;
  char mName[kMaxParamNameLen];
  char mLabel[kMaxParamNameLen];
  char mParamGroup[kMaxParamNameLen];
  bool mNegateDisplay = false;
  WDL_TypedBuf<DisplayText> mDisplayTexts;
};

#endif  // IPLUG_IPARAM_H_
