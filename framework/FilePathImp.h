// The FilePath element: a path text kept split into drive, folder, file name, name and
// extension, each held in a String.
#pragma once

#include <cstddef>

#include "framework/ElementImp.h"
#include "framework/FilePath.h"
#include "framework/String.h"

namespace VLN2 {

class FilePathImp : public ElementImp<FilePath> {
 public:
  explicit FilePathImp(Core* core) : ElementImp(core, kFilePathType) {}

  int Destroy() override;

  char* GetPath() override { return path_; }
  int SetPath(const char* text) override;
  int AppendPath(const char* text) override;
  const char* GetDrive() override { return TextOf(drive_); }
  int SetDrive(const char* text) override;
  int AppendDrive(const char* text) override;
  const char* GetFolder() override { return TextOf(folder_); }
  int SetFolder(const char* text) override;
  int AppendFolder(const char* text) override;
  const char* GetFileName() override { return TextOf(fileName_); }
  int SetFileName(const char* text) override;
  int AppendFileName(const char* text) override;
  const char* GetName() override { return TextOf(name_); }
  int SetName(const char* text) override;
  int AppendName(const char* text) override;
  const char* GetExtension() override { return TextOf(extension_); }
  int SetExtension(const char* text) override;
  int AppendExtension(const char* text) override;

 private:
  static const char* TextOf(String* part) { return part ? part->GetText() : nullptr; }
  // Replaces the path text by a new one (taken over) and splits it.
  void TakePath(char* path);
  void ReleaseParts();
  // The part becomes length bytes of text; left absent when it cannot be made.
  void MakePart(String*& part, const char* text, std::size_t length);
  // Null removes the part; otherwise it gets a copy of text.
  void SetPart(String*& part, const char* text);
  // Appends to the part (absent counts as empty); null appends nothing.
  void AppendPart(String*& part, const char* text);
  void Split();
  void SplitFileName();
  void RecomposeFileName();
  // path = drive + folder + file name; absent when memory runs out.
  void Rebuild();

  char* path_ = nullptr;
  String* drive_ = nullptr;
  String* folder_ = nullptr;
  String* fileName_ = nullptr;
  String* name_ = nullptr;
  String* extension_ = nullptr;
};

}  // namespace VLN2
