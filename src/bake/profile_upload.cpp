#include "bake/profile_upload.h"

namespace bake {

ProfileChartChoice ChooseProfileChart(const std::set<int>& chartIds,
                                      const std::set<int>& selectedIds) {
    if (chartIds.empty())
        return {-1, kNoChartsText};
    if (chartIds.size() == 1)
        return {*chartIds.begin(), nullptr};
    if (selectedIds.size() != 1)
        return {-1, kSelectOneChartText};
    return {*selectedIds.begin(), nullptr};
}

const wchar_t* ProfileUploadProblem(bool hasChart, size_t pointCount) {
    if (!hasChart)
        return kChartHasNoPointsText;
    if (pointCount < 2)
        return kTooFewPointsText;
    if (pointCount > CONCC_MAX_PROFILE_POINTS)
        return kTooManyPointsText;
    return nullptr;
}

ProfileUploadPacket BuildProfileUpload(bool hasChart, std::span<const ProfileSample> samples,
                                       uint32_t seqId) {
    ProfileUploadPacket out;
    if ((out.problem = ProfileUploadProblem(hasChart, samples.size())))
        return out;
    std::vector<CONCC_ProfilePoint> wire;
    wire.reserve(samples.size());
    for (const ProfileSample& s : samples)
        wire.push_back(ProfilePointFromChart(s.seconds, s.degrees));
    out.bytes = EncodeProfileUpload(wire, seqId);
    return out;
}

}  // namespace bake
