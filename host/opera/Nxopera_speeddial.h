// Unit Nxopera_speeddial: the speed-dial grid of speeddial.ini ([Size] Rows and Columns).
#pragma once

#include "host/opera/OperaFile.h"

namespace ravelin {

class TNXOpera_SpeedDial {
  public:
    explicit TNXOpera_SpeedDial(opera::OperaFile file) : file_(std::move(file)) {}
    static constexpr int kMin = 1, kMax = 50, kDefault = 3;
    // The stored size, within kMin..kMax; kDefault when missing or not a number.
    int GetColumns() const { return read("Columns"); }
    int GetRows() const { return read("Rows"); }
    // Clamped to kMin..kMax. Throw as TNXOpera_Prefs::WriteString does.
    void SetColumns(int columns) { write("Columns", columns); }
    void SetRows(int rows) { write("Rows", rows); }
    const opera::OperaFile& File() const { return file_; }

  private:
    int read(const char* key) const;
    void write(const char* key, int value);
    opera::OperaFile file_;
};

} // namespace ravelin
