// The StringUtil element: stateless text functions.
#pragma once

#include "framework/ElementImp.h"
#include "framework/StringUtil.h"

namespace VLN2 {

class StringUtilImp : public ElementImp<StringUtil> {
 public:
  explicit StringUtilImp(Core* core) : ElementImp(core, kStringUtilType) {}

  char ToUpper(char c) override;
  char ToLower(char c) override;
  int Length(const char* text) override;
  int Equals(const char* a, const char* b) override;
  int CompareNoCase(const char* a, const char* b) override;
  int MatchWildcard(const char* text, const char* pattern) override;
  int EqualsLoose(const char* a, const char* b) override;
  int SkipPrefix(const char** cursor, const char* prefix) override;
  int SkipPattern(const char** cursor, const char* pattern) override;
  int ReplaceAll(char** text, const char* find, const char* replacement) override;
  void ReadToken(const char** cursor, char delimiter, char* buffer, int size) override;
  int ParseColor(const char* text, unsigned char* out) override;
  int FormatColor(unsigned int color, char* out, int size) override;
  int ParseFloat(const char* text, float* out) override;
  int FormatFloat(float value, char* out, int size) override;
  int ParseInt(const char* text, int* out) override;
  int FormatInt(int value, char* out, int size) override;

 private:
  // ToUpper as a signed 8-bit value, the form every case-blind comparison uses.
  int Upper(char c) { return static_cast<signed char>(ToUpper(c)); }
};

}  // namespace VLN2
