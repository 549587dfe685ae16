#pragma once
// The page window of the data table: which rows the list shows and which of the four page buttons
// are enabled. All arithmetic is on unsigned 32-bit values, as the buttons have always done it.

#include <cstdint>

namespace vantiro {

struct PageButtons {
  bool first = false;
  bool previous = false;
  bool next = false;
  bool last = false;
  friend bool operator==(const PageButtons&, const PageButtons&) = default;
};

struct PageWindow {
  std::uint32_t pageStart = 0;
  std::uint32_t pageEnd = 0;     // exclusive
  std::uint32_t itemCount = 0;   // rows the list shows
  PageButtons buttons;
  friend bool operator==(const PageWindow&, const PageWindow&) = default;
};

// The first page as a build lays it out: rows 0 .. min(R, N), next and last enabled when N > R.
PageWindow FirstPageAfterBuild(std::uint32_t rowCount, std::uint32_t rowsPerPage);

// The four paging commands. Each is only reachable while its button is enabled.
void FirstPage(PageWindow& page, std::uint32_t rowCount, std::uint32_t rowsPerPage);
void PreviousPage(PageWindow& page, std::uint32_t rowCount, std::uint32_t rowsPerPage);
void NextPage(PageWindow& page, std::uint32_t rowCount, std::uint32_t rowsPerPage);
void LastPage(PageWindow& page, std::uint32_t rowCount, std::uint32_t rowsPerPage);

}  // namespace vantiro
