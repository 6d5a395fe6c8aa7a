// Round trips of models through both syntaxes.
#include "modelfile_support.h"

namespace kyfiletest {
namespace {

TEST(RoundTrip, ShopModelSavesAndLoadsBackEqual) {
    const refPtr<modelInfo> built = shopModel();
    const std::string yaml = file::saveModelText(built, file::eYaml);
    const file::loadResult loaded = file::loadModelText(yaml, L"shop.yaml");
    EXPECT_EQ(diagnosticsText(loaded), "");
    ASSERT_TRUE(loaded.model);
    std::vector<ky::string> differences;
    EXPECT_TRUE(file::equalModels(built, loaded.model, &differences)) << joined(differences);
}

}  // namespace
}  // namespace kyfiletest
