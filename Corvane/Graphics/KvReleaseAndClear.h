// Gives back a reference-counted platform object (anything with Release) and clears the pointer; a null pointer is
// left alone, so owners may release what they hold any number of times.
#pragma once

template <typename T>
void KvReleaseAndClear(T*& pObject) {
  if (pObject != nullptr) {
    pObject->Release();
    pObject = nullptr;
  }
}
