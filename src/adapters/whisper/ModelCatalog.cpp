// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/whisper/ModelCatalog.h"

#include <algorithm>

namespace orvane {

std::string CatalogModel::url(std::string_view baseUrl) const {
    std::string url(baseUrl);
    if (!url.empty() && url.back() != '/') url += '/';
    return url + fileName();
}

double CatalogModel::estimatedSeconds(unsigned cores) const {
    // The transcriber computes with at most four threads; the work divides almost evenly.
    const auto threads = std::clamp(cores, 1u, 4u);
    return secondsOnTwoCores * 2.0 / threads;
}

const std::vector<CatalogModel>& ModelCatalog::models() {
    static const std::vector<CatalogModel> catalog = {
        {"tiny.en", "921e4cf8686fdd993dcd081a5da5b6c365bfde1162e72b08d75ac75289920b1f", 75, true,
         0.42},
        {"base.en", "a03779c86df3323075f5e796cb2ce5029f00ec8869eee3fdfb897afe36c6d002", 142, true,
         0.75},
        {"small.en", "c6138d6d58ecc8322097e0f987c32f1be8bb0a18532a3f88f734d1bbf9c41e5d", 466, true,
         2.3},
        {"tiny", "be07e048e1e599ad46341c8d2a135645097a538221678b7acdd1b1919c6e1b21", 75, false,
         0.42},
        {"base", "60ed5bc3dd14eea856493d334349b405782ddcaf0028d4b5df4088345fba2efe", 142, false,
         0.75},
    };
    return catalog;
}

const CatalogModel& ModelCatalog::recommendedFor(unsigned cores) {
    const CatalogModel* chosen = find("tiny.en");
    for (const auto& model : models()) {
        if (model.englishOnly && model.estimatedSeconds(cores) <= secondsToHearAtMost &&
            model.megabytes > chosen->megabytes) {
            chosen = &model;
        }
    }
    return *chosen;
}

const CatalogModel* ModelCatalog::find(std::string_view name) {
    const auto& catalog = models();
    const auto it = std::find_if(catalog.begin(), catalog.end(),
                                 [name](const CatalogModel& model) { return model.name == name; });
    return it == catalog.end() ? nullptr : &*it;
}

}  // namespace orvane
