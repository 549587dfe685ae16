#include "workbench/Paging.h"

namespace vantiro {
namespace {
// A page size of 0 cannot be committed; treat it as 1 rather than divide by it.
std::uint32_t Size(std::uint32_t rowsPerPage) { return rowsPerPage == 0 ? 1 : rowsPerPage; }
}  // namespace

PageWindow FirstPageAfterBuild(std::uint32_t n, std::uint32_t rowsPerPage) {
  const std::uint32_t r = Size(rowsPerPage);
  PageWindow page;
  page.pageStart = 0;
  if (n > r) {
    page.buttons.next = page.buttons.last = true;
    page.pageEnd = r;
  } else {
    page.pageEnd = n;
  }
  page.itemCount = page.pageEnd;
  return page;
}

void FirstPage(PageWindow& page, std::uint32_t, std::uint32_t rowsPerPage) {
  const std::uint32_t r = Size(rowsPerPage);
  page.buttons = PageButtons{false, false, true, true};
  page.pageEnd = r;
  page.pageStart = 0;
  page.itemCount = r;
}

void PreviousPage(PageWindow& page, std::uint32_t, std::uint32_t rowsPerPage) {
  const std::uint32_t r = Size(rowsPerPage);
  page.buttons.next = page.buttons.last = true;
  std::uint32_t e = page.pageEnd % r;
  if (e == 0) e = r;
  page.pageEnd -= e;
  page.pageStart -= r;
  page.buttons.first = page.buttons.previous = page.pageEnd > r;
  page.itemCount = r;
}

void NextPage(PageWindow& page, std::uint32_t n, std::uint32_t rowsPerPage) {
  const std::uint32_t r = Size(rowsPerPage);
  page.buttons.first = page.buttons.previous = true;
  page.pageStart = page.pageEnd;
  page.pageEnd += r;
  if (page.pageEnd < n) {
    page.buttons.next = page.buttons.last = true;
    page.itemCount = r;
  } else {
    page.buttons.next = page.buttons.last = false;
    page.itemCount = n - page.pageStart;
  }
}

void LastPage(PageWindow& page, std::uint32_t n, std::uint32_t rowsPerPage) {
  const std::uint32_t r = Size(rowsPerPage);
  page.buttons = PageButtons{true, true, false, false};
  page.pageEnd = n;
  const std::uint32_t e = n % r;
  if (e != 0) {
    page.pageStart = n - e;
    page.itemCount = e;
  } else {
    page.pageStart = n - r;
    page.itemCount = r;
  }
}

}  // namespace vantiro
