BUILD := build
ASAN_BUILD := build-asan
# Any report ends the test that made it, and so fails the run.
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

FUZZ_BUILD := build-fuzz
FUZZ_TARGETS := integer_text date_text day_numbers datetime password note_read journal_read
FUZZ_SECONDS ?= 60

.PHONY: all deps deps-program build program run test test-asan fuzz package bench clean

all: build

deps:
	@./scripts/install-deps.sh

deps-program:
	@./scripts/install-deps.sh program

# Everything: the program, the tests and the benchmarks.
build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVIN_TESTS=ON \
		-DQUORVIN_BENCH=ON >/dev/null
	@cmake --build $(BUILD) --parallel 2

# The program alone. A new build folder is made without the tests and the
# benchmarks, which need packages of their own; one that has them keeps them
# (make build and make test turn them on), and only the program is built.
program: deps-program
	@if [ -f $(BUILD)/CMakeCache.txt ]; then cmake -S . -B $(BUILD) >/dev/null; \
	else cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVIN_TESTS=OFF \
		-DQUORVIN_BENCH=OFF >/dev/null; fi
	@cmake --build $(BUILD) --parallel 2 --target quorvin

run: program
	./$(BUILD)/quorvin

test: build
	cd $(BUILD) && ctest --output-on-failure --parallel 2

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVIN_SANITIZE=ON \
		-DQUORVIN_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) --parallel 2
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure --parallel 2

# Replays the committed corpus of each fuzz target, then fuzzes it for
# FUZZ_SECONDS; new inputs go to the build folder, not the source tree.
fuzz: deps
	@CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVIN_FUZZ=ON \
		-DQUORVIN_TESTS=OFF -DQUORVIN_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) --parallel 2 --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@for t in $(FUZZ_TARGETS); do \
		bin=$(FUZZ_BUILD)/fuzz/fuzz_$$t; \
		$$bin -runs=0 fuzz/corpus/$$t 2>$(FUZZ_BUILD)/replay_$$t.log \
			|| { cat $(FUZZ_BUILD)/replay_$$t.log; exit 1; }; \
		mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
		$$bin -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
			-artifact_prefix=$(FUZZ_BUILD)/$$t- $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t \
			2>$(FUZZ_BUILD)/fuzz_$$t.log || { tail -40 $(FUZZ_BUILD)/fuzz_$$t.log; exit 1; }; \
		runs=$$(grep -m1 stat::number_of_executed_units $(FUZZ_BUILD)/fuzz_$$t.log | awk '{print $$2}'); \
		echo "fuzz_$$t: $$runs runs in $(FUZZ_SECONDS) s after replaying $$(ls fuzz/corpus/$$t | wc -l) inputs"; \
	done

# A Debian package of the program: build/quorvin_<version>_amd64.deb
package: build
	cd $(BUILD) && cpack -G DEB

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done
	@echo "== start-up"; dbus-run-session -- $(BUILD)/bench/startup_probe $(BUILD)/quorvin \
		$(BUILD)/bench/minimal_window $(BUILD)/bench/main_window_floor
	@echo "== command line"; ./bench/cli_speed.sh $(BUILD)/quorvin
	@echo "== keystroke, counted"; ./bench/keystroke_cost.sh $(BUILD)/bench/bench_notepad

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
