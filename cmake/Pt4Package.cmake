# The Debian package: `cpack -G DEB` in the build tree makes plumtone4_VERSION_ARCH.deb from
# everything `cmake --install` puts in place, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plumtone4)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Plumtone4 developers")
set(PT4_CONTACT_MAIL "plumtone4@example.org" CACHE STRING "Address behind the About view's mail link")
set(CPACK_PACKAGE_CONTACT "The Plumtone4 developers <${PT4_CONTACT_MAIL}>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://plumtone4.github.io/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small skinned MP3 player with a Japanese interface")
set(CPACK_PACKAGE_DESCRIPTION
    "Plumtone4 plays MP3 files in one small window of fixed size with Japanese
captions: open, play, pause, stop, rewind and fast-forward buttons, six
equalizer presets, volume and balance knobs, continuous play of a folder and
repeat. Its own decoder plays MPEG-1, MPEG-2 and MPEG-2.5 audio of Layers I,
II and III through PulseAudio or PipeWire.

The terminal tool pt4 examines the tags and frames of the same files, decodes
them to WAVE files and plays them.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies on the shared libraries the programs link, found by dpkg-shlibdeps, and on the HTTP
# client library and the sound server's client library, which are loaded when the first stream
# or sound output opens and so escape that scan. The charset detector is linked, and named too so
# that the package states it even where the scan is off.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4, libpulse0, libuchardet0")
# A sound server to play to, the Japanese glyphs of the captions, the Wayland platform, and the
# desktop's sound theme (loaded with the first sound).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "pipewire-pulse | pulseaudio, fonts-noto-cjk | fonts-vlgothic, qt6-wayland, libcanberra0")
# dpkg sets ownership to root; permissions come from the install rules.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
