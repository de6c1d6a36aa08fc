#pragma once

#include "framework/ElementImp.h"
#include "installer/TextIndex.h"
#include "installer/Uninstaller.h"

namespace VLN2 {

class ElementContainer;
class Stream;
class String;
class StringUtil;

class UninstallerImp : public ElementImp<Uninstaller> {
 public:
  explicit UninstallerImp(Core* core) : ElementImp(core, kUninstallerType) {}

  int Init() override;
  int Destroy() override;

  int AddFileEntry(const char* path) override;
  int AddFolderEntry(const char* path) override;
  int Load(const char* path) override;
  int Save(const char* path) override;
  int Uninstall() override;
  int KeepFile(const char* path) override;
  int VisitFiles(int (*visit)(const char* path, void* context), void* context) override;
  int VisitFolders(int (*visit)(const char* path, void* context), void* context) override;
  RecordState GetRecordState() override;
  int SaveOrDelete(const char* path) override;

 private:
  // Whether a listed file lies below the folder.
  bool HoldsListedFile(StringUtil* util, const char* folder);

  ElementContainer* files_ = nullptr;
  ElementContainer* folders_ = nullptr;
  // Beside each list, so that adding a path does not compare it with every listed one.
  TextIndex fileIndex_;
  TextIndex folderIndex_;
  static constexpr int kMaxKept = 2;
  String* kept_[kMaxKept] = {};  // the files Uninstall leaves in place
  RecordState state_ = RecordState::kMissing;
};

}  // namespace VLN2
