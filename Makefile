# lanfinch: the two set-up commands are `make demo` and `make check`.
.PHONY: all deps build release check format-check demo screenshot bench fuzz install package clean

JOBS      ?= $(shell nproc)
CHECK_DIR ?= build/check
FUZZ_DIR  ?= build/fuzz
FUZZ_TIME ?= 20
FUZZ_TARGETS := fuzz_datagram fuzz_snmp_reply fuzz_address_text
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

# The fuzz runs come first so that ctest's summary is the last thing printed.
check: build fuzz
	cd $(CHECK_DIR) && ctest --output-on-failure -j $(JOBS)

# Every C++ file as .clang-format has it.
format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# Each libFuzzer target for FUZZ_TIME seconds on a fresh copy of its seed corpus; any finding fails.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	    -DLANFINCH_FUZZ=ON -DLANFINCH_TESTS=ON
	cmake --build $(FUZZ_DIR) --target fuzz_targets -j $(JOBS)
	@set -e; for target in $(FUZZ_TARGETS); do \
	    run=$(FUZZ_DIR)/fuzz-run/$$target; rm -rf $$run; mkdir -p $$run/corpus $$run/artifacts; \
	    cp tests/fuzz/corpus/$$target/* $$run/corpus/; \
	    echo "fuzz: $$target for $(FUZZ_TIME) s"; \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    $(FUZZ_DIR)/tests/fuzz/$$target $$run/corpus -max_total_time=$(FUZZ_TIME) -timeout=5 \
	        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=$$run/artifacts/ >$$run/log 2>&1 \
	        || { tail -n 60 $$run/log; echo "fuzz: $$target found a fault; input in $$run/artifacts"; exit 1; }; \
	    grep -E '^(Done|stat::number_of_executed_units)' $$run/log || true; \
	done

demo: release
	scripts/demo $(DEMO_DIR)

screenshot: release
	scripts/screenshot $(DEMO_DIR) build/screenshot.png

# Release build, then every benchmark inside a private network namespace; prints one table.
BENCH_DIR ?= build/bench
bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLANFINCH_TESTS=OFF
	cmake --build $(BENCH_DIR) -j $(JOBS) --target lanfinch-bench
	bench/run-bench $(BENCH_DIR)

install: release
	cmake --install $(DEMO_DIR)

# The Debian package and the Ansible collection, in $(DEMO_DIR): lanfinch_VERSION_ARCH.deb and
# lanfinch-boards-VERSION.tar.gz. Ansible writes nothing outside $(DEMO_DIR) and needs a UTF-8 locale.
package: release
	cd $(DEMO_DIR) && cpack -G DEB
	LC_ALL=C.UTF-8 PYTHONDONTWRITEBYTECODE=1 ANSIBLE_HOME=$(abspath $(DEMO_DIR))/ansible-home \
	    ANSIBLE_LOCAL_TEMP=$(abspath $(DEMO_DIR))/ansible-home/tmp \
	    ansible-galaxy collection build ansible --output-path $(DEMO_DIR) --force

clean:
	rm -rf build
