# lanfinch: the two set-up commands are `make demo` and `make check`.
.PHONY: all deps build release check demo screenshot bench fuzz install clean

JOBS      ?= $(shell nproc)
CHECK_DIR ?= build/check
DEMO_DIR  ?= build/release
WERROR    ?= $(if $(CI),ON,OFF)

all: build

deps:
	@scripts/install-deps

# Debug build with AddressSanitizer and UndefinedBehaviorSanitizer; what `make check` tests.
build: deps
	cmake -S . -B $(CHECK_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	    -DLANFINCH_SANITIZE=ON -DLANFINCH_WERROR=$(WERROR)
	cmake --build $(CHECK_DIR) -j $(JOBS)

release: deps
	cmake -S . -B $(DEMO_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLANFINCH_TESTS=OFF
	cmake --build $(DEMO_DIR) -j $(JOBS)

check: build
	cd $(CHECK_DIR) && ctest --output-on-failure -j $(JOBS)

demo: release
	scripts/demo $(DEMO_DIR)

screenshot: release
	scripts/screenshot $(DEMO_DIR) build/screenshot.png

install: release
	cmake --install $(DEMO_DIR)

clean:
	rm -rf build
