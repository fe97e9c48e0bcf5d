# The two commands a user needs: `make run` and `make test`. Both install what is
# missing, configure, build and bake the content first.
BUILD_DIR ?= build
STAGE_DIR := $(BUILD_DIR)/stage
JOBS      ?= $(shell nproc)
# -noreset: Xvfb otherwise resets whenever its last client leaves, and a test that
# connects during the reset finds no display.
XVFB      := xvfb-run -a -s "-screen 0 1920x1080x24 -noreset"

# The release files are the same bytes from any clone of one commit: their times are the
# commit's, and so is every date a compiler writes in.
export SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || stat -c %Y VERSION)

WIN_DIR   := $(BUILD_DIR)/windows
WIN_DEPS  := $(BUILD_DIR)/windeps
WEB_DIR   := $(BUILD_DIR)/web
WEB_DEPS  := $(BUILD_DIR)/webdeps
WEB_CMAKE := $(BUILD_DIR)/webcmake
# Debian's emcc needs its own JS modules (acorn) on node's path above -O0.
EMENV     := NODE_PATH=/usr/share/nodejs

.PHONY: all help setup setup-release setup-web configure build windows dist-windows web dist-web \
        serve-web dist run test video video-upload stills contact-sheet preview bench bench-web \
        fuzz clean

all: build

# In the order a newcomer meets them; docs/ has the rest.
help:
	@echo 'The two commands:'
	@echo '  make run            build everything and play the demo (needs a display)'
	@echo '  make test           the release files, then every test under Xvfb'
	@echo 'Working on the demo:'
	@echo '  make preview        the demo in a window from any moment; AT=140 starts there'
	@echo '  make stills         PNGs of chosen moments and a contact sheet in build/stills'
	@echo '  make contact-sheet  docs/scenes.jpg, the README picture, from the stills'
	@echo '  make video          build/norrvale.mp4, the whole demo, checked for flashing'
	@echo '  make video-upload   build/norrvale-2160p.mp4 for video sites (hours)'
	@echo 'Releases:'
	@echo '  make dist           the Linux archive, in build/dist'
	@echo '  make dist-windows   the Windows zip, in build/dist'
	@echo '  make dist-web       the web zip, in build/dist'
	@echo '  make web            the browser build, in build/web'
	@echo '  make serve-web      the browser build served on http://127.0.0.1:8000/'
	@echo 'Measuring and checking:'
	@echo '  make bench          every benchmark, printing its figures'
	@echo '  make bench-web      the browser build measured in each engine'
	@echo '  make fuzz           damaged copies of the content through the loaders; N=, SEED='
	@echo 'Steps the others run first:'
	@echo '  make build          the demo, tools, tests and content in build/ (also: make all)'
	@echo '  make windows        norrvale.exe in build/windows/stage'
	@echo '  make configure      our assimp and SDL2_mixer, then CMake'
	@echo '  make setup          the Debian packages the build needs'
	@echo '  make setup-release  and those the release files need'
	@echo '  make setup-web      and those the browser build needs'
	@echo '  make clean          remove build/ with every cache in it'
	@echo '  make help           this list'

setup:
	@bash scripts/setup.sh

# The release archives and their tests need more than playing the demo does.
setup-release:
	@bash scripts/setup.sh release

# The browser build and its tests: emscripten, Chromium and the test driver's node packages.
setup-web:
	@bash scripts/setup.sh web

# The demo's assimp and SDL2_mixer are built from Debian's sources, once (build/assimp,
# build/linuxdeps).
configure: setup
	@JOBS=$(JOBS) bash packaging/assimp/build-linux.sh $(BUILD_DIR)
	@JOBS=$(JOBS) bash packaging/linux/build-deps.sh $(BUILD_DIR)
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@bash scripts/run.sh $(STAGE_DIR)

# The whole demo as build/norrvale.mp4 with its soundtrack; CAPTURE_ARGS passes
# options on (e.g. CAPTURE_ARGS="--from 19 --to 21 --fps 10"). Then the file is checked
# for flashing and stripes; a stretch past the limits fails the target. The scene windows
# are named when the file starts where the demo's clock does.
FLASHCHECK := $(BUILD_DIR)/tools/flashcheck/flashcheck $(if $(findstring --from,$(CAPTURE_ARGS)),,--starts-at -13)
video: build
	@if [ -n "$$DISPLAY" ]; then $(BUILD_DIR)/tools/capture/capture $(CAPTURE_ARGS); \
	else $(XVFB) $(BUILD_DIR)/tools/capture/capture $(CAPTURE_ARGS); fi
	@$(FLASHCHECK) $(BUILD_DIR)/norrvale.mp4

# The file for a video site, build/norrvale-2160p.mp4: every frame the mean of
# UPLOAD_SAMPLES sub-frames spread over the pixel and a 180-degree shutter, scaled to
# 2160p, where the sites give far more bit rate. docs/video.md has the figures behind
# the choices and the time it takes.
UPLOAD_SAMPLES ?= 16
UPLOAD_ARGS    := --samples $(UPLOAD_SAMPLES) --shutter 0.5 --size 3840x2160 --preset veryfast --crf 16 \
                  --out $(BUILD_DIR)/norrvale-2160p.mp4
video-upload: build
	@if [ -n "$$DISPLAY" ]; then $(BUILD_DIR)/tools/capture/capture $(UPLOAD_ARGS) $(CAPTURE_ARGS); \
	else $(XVFB) $(BUILD_DIR)/tools/capture/capture $(UPLOAD_ARGS) $(CAPTURE_ARGS); fi
	@$(FLASHCHECK) $(BUILD_DIR)/norrvale-2160p.mp4

# norrvale.exe cross-built with MinGW-w64, in $(WIN_DIR)/stage with its DLLs and the
# content the native build baked. The Windows libraries are built from Debian's
# sources the first time only.
windows: build setup-release
	@JOBS=$(JOBS) bash packaging/windows/build-deps.sh $(WIN_DEPS)
	@cmake -S . -B $(WIN_DIR) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DNORRVALE_WINDEPS=$(abspath $(WIN_DEPS))/prefix \
	  -DCMAKE_FIND_ROOT_PATH=$(abspath $(WIN_DEPS))/prefix >/dev/null
	@cmake --build $(WIN_DIR) -j $(JOBS)
	@bash packaging/windows/stage.sh $(STAGE_DIR) $(WIN_DIR)/stage

# build/dist/norrvale-<version>-windows-x86_64.zip
dist-windows: windows
	@bash packaging/windows/dist.sh $(WIN_DIR)/stage $(BUILD_DIR)/dist $(WIN_DEPS)

# The browser build in $(WEB_DIR): the page, the JS, the wasm and the data, from the same
# sources with the web seams, and the content the native build baked. Its libraries are
# built for wasm from Debian's sources the first time only.
web: build setup-web
	@$(EMENV) JOBS=$(JOBS) bash packaging/web/build-deps.sh $(WEB_DEPS)
	@$(EMENV) emcmake cmake -S . -B $(WEB_CMAKE) -DCMAKE_BUILD_TYPE=Release \
	  -DNORRVALE_WEBDEPS=$(abspath $(WEB_DEPS))/prefix \
	  -DNORRVALE_STAGE=$(abspath $(STAGE_DIR)) -DNORRVALE_WEB_OUT=$(abspath $(WEB_DIR)) >/dev/null
	@$(EMENV) cmake --build $(WEB_CMAKE) -j $(JOBS)

# build/dist/norrvale-<version>-web.zip: the page and its files, for any static host.
dist-web: web
	@bash packaging/web/dist.sh $(WEB_DIR) $(BUILD_DIR)/dist

# The browser build on http://127.0.0.1:8000/ (PORT=... for another port).
PORT ?= 8000
serve-web: web
	@python3 packaging/web/serve.py $(WEB_DIR) $(PORT)

# The tests include the release archives (the Linux one played in a minimal Debian root,
# the Windows program under Wine, the web one served from a fresh folder in Chromium,
# Firefox and WebKit, all three against a fresh machine's), so all are made first.
test: dist dist-windows dist-web
	@cd $(BUILD_DIR) && $(XVFB) ctest --output-on-failure -j $(JOBS)

# The Linux release: build/dist/norrvale-<version>-linux-x86_64.tar.gz.
dist: build setup-release
	@bash packaging/linux/make-archive.sh $(BUILD_DIR)

# Frames of every scene window as PNGs and one contact sheet, in build/stills;
# TIMES="44.5 70" picks the demo times, STILLS_ARGS="--samples 16" makes them as the
# upload file's frames are made.
stills: build
	@$(XVFB) $(BUILD_DIR)/tools/stills/stills $(STILLS_ARGS) $(TIMES)

# docs/scenes.jpg, the README's picture: one frame of each scene window (two of the third,
# the tunnel and the ship), drawn as the stills are and scaled to half size, so that the
# page stays light.
SHEET_TIMES := 10 25 41.5 78 115 142 190 255
contact-sheet: build
	@$(XVFB) $(BUILD_DIR)/tools/stills/stills --out $(BUILD_DIR)/stills/sheet $(SHEET_TIMES) >/dev/null
	@ffmpeg -loglevel error -y -i $(BUILD_DIR)/stills/sheet/contact_sheet.png -vf scale=iw/2:-1 \
	  -q:v 4 docs/scenes.jpg
	@echo docs/scenes.jpg

# The demo in a normal window from any moment, with its music; the programs are built
# from shdrs/ here and rebuilt as they are saved. AT=140 starts at demo second 140,
# SHADERS=DIR builds them from another folder, PREVIEW_ARGS passes more options on.
SHADERS ?= shdrs
preview: build
	@$(BUILD_DIR)/tools/preview/preview --shaders $(abspath $(SHADERS)) $(if $(AT),--at $(AT)) $(PREVIEW_ARGS)

# Every benchmark prints its own figures; they run from the stage folder like the demo.
bench: build
	@cd $(STAGE_DIR) && $(XVFB) sh -c 'for b in ../bench/*/bench_*; do [ -x "$$b" ] && "$$b"; done'

# The browser build's figures in Chromium, Firefox and WebKit: download size, time to
# Play, click to music, frame times per window. ENGINES="webkit" picks some.
bench-web: web
	@$(XVFB) node bench/web/bench_web.mjs $(WEB_DIR) $(ENGINES)

# Damaged copies of the staged files through the sanitized loaders: N cases from SEED
# (default: from the clock). Each finding is printed with its one-line reproducer.
N ?= 1000
fuzz: build
	@$(XVFB) python3 tools/fuzz/fuzz.py --harness $(BUILD_DIR)/tools/fuzz/fuzz_load \
	  --stage $(STAGE_DIR) --work $(BUILD_DIR)/fuzz --cases $(N) --jobs $(JOBS) \
	  $(if $(SEED),--seed $(SEED))

clean:
	rm -rf $(BUILD_DIR)
