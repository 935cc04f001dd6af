// Start-up of the catalogue: the description files of a folder, and the built-in
// entry when none gave one.
#include "catalogue/catalogue.h"

#include "common/program_path.h"

void LoadCatalogue(const std::filesystem::path& folder) {
  InstrumentCatalogue& catalogue = Catalogue();
  catalogue.LoadFolder(folder);
  catalogue.AddBuiltInWhenEmpty();
}

void LoadCatalogue() { LoadCatalogue(ProgramFolder()); }
