// TIEDiskBuffer: the pixels of a large TIEBitmap kept in a temporary file
// whose rows are mapped on demand.
#pragma once

class TIEDiskBuffer {
 public:
  virtual ~TIEDiskBuffer() = default;
};
