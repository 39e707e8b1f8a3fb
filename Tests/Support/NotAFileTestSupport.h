// Things that stand where a program expects a regular file, made for tests of what the file door refuses, and a
// record of a folder to show that a refusal touched nothing in it. Header only.
#pragma once

#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>

enum class EKvNotAFile {
  EndlessDevice,   // a symlink to /dev/zero
  Fifo,            // a pipe without a writer: a plain open waits for one
  SelfLoop,        // a symlink to its own name
  Socket,
  Folder,
  ChainOf60Links,  // to a regular file, past the system's limit of 40 links in one path
  DanglingLink,    // a symlink to a name that does not exist
};

// Makes the kind at path; a chain of links ends at chainEnd ("<chainEnd>.linkN" are its other links). False when it
// cannot be made (errno says why).
inline bool KvTestMakeNotAFile(EKvNotAFile eKind, const std::string& path, const std::string& chainEnd = "") {
  switch (eKind) {
    case EKvNotAFile::EndlessDevice: return symlink("/dev/zero", path.c_str()) == 0;
    case EKvNotAFile::Fifo: return mkfifo(path.c_str(), 0600) == 0;
    case EKvNotAFile::SelfLoop: return symlink(std::filesystem::path(path).filename().c_str(), path.c_str()) == 0;
    case EKvNotAFile::Socket: {
      // Bound under a short name (a socket's name has a small bound) and moved into place.
      char szFolder[] = "/tmp/notafileXXXXXX";
      if (mkdtemp(szFolder) == nullptr) return false;
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::snprintf(address.sun_path, sizeof(address.sun_path), "%s/s", szFolder);
      const int iSocket = socket(AF_UNIX, SOCK_STREAM, 0);
      const bool bMade = iSocket >= 0 && bind(iSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                         rename(address.sun_path, path.c_str()) == 0;
      if (iSocket >= 0) close(iSocket);
      rmdir(szFolder);
      return bMade;
    }
    case EKvNotAFile::Folder: return mkdir(path.c_str(), 0700) == 0;
    case EKvNotAFile::ChainOf60Links: {
      std::string previous = chainEnd;
      for (int i = 0; i < 59; ++i) {
        const std::string link = chainEnd + ".link" + std::to_string(i);
        if (symlink(previous.c_str(), link.c_str()) != 0) return false;
        previous = link;
      }
      return symlink(previous.c_str(), path.c_str()) == 0;
    }
    case EKvNotAFile::DanglingLink: return symlink((path + ".nowhere").c_str(), path.c_str()) == 0;
  }
  return false;
}

// Every name in the folder with its kind, and the size and a hash of the bytes of its regular files.
inline std::map<std::string, std::string> KvTestFolderContents(const std::string& dir) {
  std::map<std::string, std::string> contents;
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(dir)) {
    const std::filesystem::file_type eType = entry.symlink_status().type();
    std::string bytes;
    if (eType == std::filesystem::file_type::regular) {
      std::ifstream in(entry.path(), std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    contents[entry.path().filename().string()] = std::to_string(int(eType)) + ": " + std::to_string(bytes.size()) +
                                                 " bytes, hash " + std::to_string(std::hash<std::string>()(bytes));
  }
  return contents;
}
