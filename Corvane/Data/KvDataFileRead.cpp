// Data files are read through the archive reader: an entry of a loaded archive when the path's hash is in
// one, else the loose file of that path.
#include "Corvane/Data/KvDataFileRead.h"

#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"

namespace {

struct SMagReader {
  typedef SMagRef Ref;
  static i32 open(const char* pPath, u32* puiSize, Ref** ppRef) { return ClMagFileIO::open(pPath, puiSize, ppRef); }
  static i32 allocReadBuffers(Ref* pRef, u32 uiBytes, u32 uiAlignment) {
    return ClMagFileIO::allocReadBuffers(pRef, uiBytes, uiAlignment);
  }
  static i32 read(Ref* pRef, u32 uiBytes) { return ClMagFileIO::read(pRef, uiBytes); }
  static i32 closeFileHandle(Ref* pRef) { return ClMagFileIO::closeFileHandle(pRef); }
  static i32 close(Ref* pRef) { return ClMagFileIO::close(pRef); }
  static const u8* destination(Ref* pRef) { return pRef->mp_pDestinationBuffer; }
};

}  // namespace

const char* KvGetDataRootPath() { return KvGetBaseDataPath(); }

const char* KvGetDataFileProblem() { return ClMagFileIO::getLastProblem(); }

const char* KvDescribeDataFileLocation(const char* pPath, char* pText, u32 uiSize) {
  return ClMagFileIO::describeLocation(pPath, pText, uiSize);
}

E_DATA_READ KvReadDataFile(const char* pPath, SDataFileRead* pRead) {
  return KvReadDataFileWith<SMagReader>(pPath, pRead);
}
