#include <iostream>
#include <string>
#include <vector>

#include "vantiro-convert/ConvertCommand.h"
#include "platform/ProcessSignals.h"
#ifdef VANTIRO_CONVERT_DRAW
#include "vantiro-convert/PdfCommand.h"
#include "vantiro-convert/PngCommand.h"
#endif

int main(int argc, char* argv[]) {
  vantiro::IgnoreFileSizeSignal();  // an output past the file-size limit fails, reported
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
#ifdef VANTIRO_CONVERT_DRAW
  if (!args.empty() && args[0] == "png") return vantiro::RunPng(args, std::cerr);
  if (!args.empty() && args[0] == "pdf") return vantiro::RunPdf(args, std::cerr);
#endif
  return vantiro::RunConvert(args, std::cout, std::cerr);
}
