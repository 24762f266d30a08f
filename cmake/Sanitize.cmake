# AddressSanitizer and UndefinedBehaviorSanitizer for every target of the build (-DTARN_SANITIZE=ON):
# the first report stops the program, so a test or a fuzz run fails on it instead of printing and going
# on. Used by build-sanitize (./test.sh --sanitize, scripts/fuzz.sh); the normal build is untouched.
option(TARN_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(TARN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
