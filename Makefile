# The two everyday commands are `make run` and `make test`; both install what
# is missing, configure and build first.

BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-asan
CMAKE_EXTRA += -DVORRA_SANITIZE=ON
else
BUILD_DIR ?= build
endif

FUZZ_DIR := build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build test run fuzz bench clean

all: build

deps:
	@sh tools/setup-deps.sh

# The build folder remembers the settings it was configured with; other
# settings (BUILD_TYPE, CMAKE_EXTRA) configure it afresh, keeping the objects.
CONFIG := -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_EXTRA)

configure: deps
	@if [ ! -f $(BUILD_DIR)/build.ninja ] || [ "$$(cat $(BUILD_DIR)/.vorra-config 2>/dev/null)" != "$(CONFIG)" ]; then \
	  rm -f $(BUILD_DIR)/CMakeCache.txt; \
	  cmake -S . -B $(BUILD_DIR) -G Ninja $(CONFIG) >/dev/null && echo "$(CONFIG)" > $(BUILD_DIR)/.vorra-config; \
	fi

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The window on a display; without one, the demo page captured with `vorra get`.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD_DIR)/vorra; \
	else \
	  rm -rf $(BUILD_DIR)/examples/captured; \
	  python3 examples/capture_demo.py $(BUILD_DIR)/vorra $(BUILD_DIR)/examples/demo $(BUILD_DIR)/examples/captured; \
	fi

fuzz:
	@sh tools/setup-deps.sh clang libclang-rt-14-dev
	@if [ ! -f $(FUZZ_DIR)/build.ninja ]; then \
	  cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVORRA_FUZZ=ON >/dev/null; \
	fi
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	@for f in $(FUZZ_DIR)/fuzz/fuzz_*; do \
	  name=$$(basename $$f); mkdir -p fuzz/corpus/$$name; \
	  echo "== $$name ($(FUZZ_SECONDS) s)"; \
	  seeds=""; [ -d fuzz/seeds/$$name ] && seeds=fuzz/seeds/$$name; \
	  [ $$name = fuzz_page_walk ] && seeds="$$seeds examples/demo"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 fuzz/corpus/$$name $$seeds \
	    >$(FUZZ_DIR)/$$name.log 2>&1; rc=$$?; tail -n 12 $(FUZZ_DIR)/$$name.log; \
	  [ $$rc -eq 0 ] || exit 1; \
	done

bench: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target benchmarks
	@rc=0; for b in $(BUILD_DIR)/bench/bench_*; do echo "== $$(basename $$b)"; $$b || rc=1; done; exit $$rc

clean:
	rm -rf build build-asan $(FUZZ_DIR)
