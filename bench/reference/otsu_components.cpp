// The reference the dense count is measured against: OpenCV's Otsu threshold on the grey picture and
// its connected components (8-connected, with their statistics), as one would count particles with
// OpenCV alone. Prints the number of components. Built by bench/dense_count.sh where OpenCV is
// installed (libopencv-dev); not part of the program.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: otsu_components PICTURE\n");
        return 2;
    }
    const cv::Mat picture = cv::imread(argv[1], cv::IMREAD_COLOR);
    if (picture.empty()) {
        std::fprintf(stderr, "otsu_components: cannot read %s\n", argv[1]);
        return 1;
    }
    cv::Mat grey, mask, labels, stats, centroids;
    cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
    cv::threshold(grey, mask, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    const int components = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
    std::printf("%d\n", components - 1);
    return 0;
}
