// Writes the seed corpora with the project's own writers: make_seeds FOLDER fills
// FOLDER/<target>/ for each fuzz target.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/CompressStream.h"
#include "archive/Stream.h"
#include "framework/CoreImp.h"
#include "framework/ElementContainer.h"
#include "framework/ElementRef.h"
#include "framework/IO.h"
#include "framework/String.h"
#include "installer/ClassTable.h"
#include "installer/Uninstaller.h"
#include "system/port/posix/PosixPort.h"
#include "unit/support/ArchiveBuilder.h"
#include "unit/support/MemoryStream.h"

namespace VLN2 {
namespace {

std::string g_root;  // native, ending in '/'

bool Save(const std::string& target, const std::string& name,
          const std::vector<std::uint8_t>& bytes) {
  ::mkdir((g_root + target).c_str(), 0777);
  std::FILE* file = std::fopen((g_root + target + "/" + name).c_str(), "wb");
  if (!file) return false;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  return std::fclose(file) == 0;
}

std::vector<std::uint8_t> ReadBack(const std::string& native) {
  std::vector<std::uint8_t> bytes;
  std::FILE* file = std::fopen(native.c_str(), "rb");
  if (!file) return bytes;
  int c;
  while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<std::uint8_t>(c));
  std::fclose(file);
  std::remove(native.c_str());
  return bytes;
}

bool Archive(const std::string& name, const ArchiveContents& entries) {
  if (!BuildArchive("C:\\scratch.dat", entries)) return false;
  return Save("archive", name, ReadBack(g_root + "scratch.dat"));
}

// One block as the writer packs it, behind the fuzz target's variant byte and claimed size.
bool Block(const std::string& name, const std::string& data, std::uint8_t flags) {
  MemoryStream out;
  out.OpenStream();
  auto stream = ElementRef<CompressStream>::Create(kCompressStreamType);
  Stream* view = CastTo<Stream>(stream.get());
  stream->SetOutput(&out);
  stream->SetPassThrough(flags & 1);
  view->SetMode(kModeWrite);
  if (view->OpenStream() != 0) return false;
  view->WriteData(data.data(), static_cast<std::uint32_t>(data.size()));
  view->CloseStream();
  std::vector<std::uint8_t> seed = {flags};
  std::uint32_t size = static_cast<std::uint32_t>(out.Bytes().size());
  for (int i = 0; i < 4; ++i) seed.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
  seed.insert(seed.end(), out.Bytes().begin(), out.Bytes().end());
  return Save("packed-block", name, seed);
}

bool Record(const std::string& name, const std::vector<std::string>& files) {
  auto record = ElementRef<Uninstaller>::Create(kUninstallerType);
  for (const std::string& file : files) {
    record->AddFileEntry(file.c_str());
    record->AddFolderEntry(file.c_str());
  }
  if (record->Save("C:\\scratch.info") != 0) return false;
  return Save("record", name, ReadBack(g_root + "scratch.info"));
}

bool Text(const std::string& name, const char* text) {
  auto string = ElementRef<String>::Create(kStringType);
  if (text) string->SetText(text);
  MemoryStream out;
  out.OpenStream();
  CastTo<IO>(string.get())->Write(&out);
  return Save("stored-forms", name, out.Bytes());
}

bool Values(const std::string& name, int parameter, const std::vector<int>& values) {
  auto container = ElementRef<ElementContainer>(
      static_cast<ElementContainer*>(g_core->CreateElement(kElementContainerType, parameter)));
  container->SetElementSize(-4);
  Iterator* it = container->GetIterator(kListIterator, nullptr);
  for (int value : values) it->Add(reinterpret_cast<Value>(static_cast<std::intptr_t>(value)));
  container->ReleaseIterator(&it);
  MemoryStream out;
  out.OpenStream();
  CastTo<IO>(container.get())->Write(&out);
  std::vector<std::uint8_t> seed = {static_cast<std::uint8_t>(parameter)};
  seed.insert(seed.end(), out.Bytes().begin(), out.Bytes().end());
  return Save("stored-forms", name, seed);
}

bool MakeAll() {
  bool ok = true;
  ok &= Archive("payload", {{"VLN2_Resources\\Resources.txt", "shared resources\n"},
                            {"VLN2_Resources\\Shaders\\Default.fx", std::string(600, 'f')},
                            {"3DSMax6\\VorlaneBox.dlu", std::string(3000, 'M')},
                            {"SDK\\include\\VLN2.h", "#pragma once\n"},
                            {"SDK\\samples\\Hello.cpp", "int main() {}\n"}});
  ok &= Archive("one-stored", {{"a.txt", "tiny"}});
  ok &= Archive("one-empty", {{"empty", ""}});
  ok &= Archive("same-name-twice", {{"x\\a", "first"}, {"X\\A", std::string(200, 'z')}});
  ok &= Archive("hostile-names", {{"..\\up.txt", "up"},
                                  {"C:\\drive.txt", "drive"},
                                  {"\\rooted.txt", "rooted"},
                                  {"CON", "device"},
                                  {"dir\\nul.txt", "device"},
                                  {"a:stream", "stream"},
                                  {"dot.", "dot"},
                                  {"ok\\fine.txt", "fine"}});
  ok &= Block("packed", std::string(1000, 'a'), 0);
  ok &= Block("stored", "0123456789", 0);
  ok &= Block("empty", "", 0);
  ok &= Block("claimed-size", std::string(300, 'b'), 2);
  ok &= Block("pass-through", "plain bytes", 1);
  ok &= Record("installation", {"C:\\files\\a.txt", "C:\\files\\sub\\b.txt",
                                "C:\\files\\sub\\deeper\\c.txt", "C:\\files\\empty\\none.txt"});
  ok &= Record("one-file", {"C:\\files\\a.txt"});
  ok &= Record("climbing", {"C:\\..\\sentinel.txt", "C:\\files\\..\\..\\sentinel.txt",
                            "C:\\files\\sub\\..\\a.txt"});
  ok &= Record("nothing", {});
  ok &= Text("text", "C:\\Program Files\\Vorlane\\Toolbox\\");
  ok &= Text("empty-text", "");
  ok &= Text("no-text", nullptr);
  ok &= Values("values", 0, {0, 1, -1, 70000});
  ok &= Values("short-values", 1, {0, 1, -1, 300});
  return ok;
}

}  // namespace
}  // namespace VLN2

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  VLN2::g_root = std::string(argv[1]) + "/";
  ::mkdir(argv[1], 0777);
  VLN2::PosixPort::MapDrive('C', argv[1]);
  auto* core = new VLN2::CoreImp(VLN2::kClassTable, VLN2::kClassCount);
  bool ok = VLN2::MakeAll();
  core->Destroy();
  delete core;
  return ok ? 0 : 1;
}
