//
//  ProfileStore.swift
//  Keeps the signed-in user's profile and caches avatars on disk.
//

import Foundation
import SwiftUI
import OSLog
import UIKit

/// Loads, caches and publishes the profile of the signed-in user.
@MainActor
final class ProfileStore: ObservableObject {
    @Published private(set) var profile: Profile?
    @Published var isLoading = false
    private let session: URLSession
    private let logger = Logger(subsystem: "com.example.app", category: "profile")
    private var cancellables = Set<AnyCancellable>()

    init(session: URLSession = .shared) {
        self.session = session
    }

    deinit {
        cancellables.removeAll()
    }

    // MARK: - Loading

    func load(id: Profile.ID) async throws -> Profile {
        isLoading = true
        defer { isLoading = false }
        let url = baseURL.appending(path: "profiles/\(id)")
        let (data, response) = try await session.data(from: url)
        guard let http = response as? HTTPURLResponse, http.statusCode == 200 else {
            throw ProfileError.badStatus
        }
        let decoded = try JSONDecoder().decode(Profile.self, from: data)
        profile = decoded
        logger.info("Loaded profile \(id, privacy: .public)")
        return decoded
    }

    // TODO: move the retry policy into the network layer
    // FIXME: the avatar cache is never trimmed
    func avatar(for profile: Profile) -> UIImage? {
        let key = profile.avatarKey as NSString
        return imageCache.object(forKey: key)
    }

    func reset() {
        profile = nil
        DispatchQueue.main.async { [weak self] in
            self?.objectWillChange.send()
        }
    }
}

enum ProfileError: Error {
    case badStatus
    case missingAvatar
}

extension ProfileStore {
    static let preview = ProfileStore(session: .shared)
}

struct ProfileView: View {
    @StateObject private var store = ProfileStore()
    @State private var showsEditor = false

    var body: some View {
        VStack(alignment: .leading, spacing: 12) {
            Text(store.profile?.name ?? "Unknown")
                .font(.headline)
            Button("Edit") { showsEditor = true }
        }
        .sheet(isPresented: $showsEditor) {
            EditorView()
        }
    }
}

@Suite("Profile store")
struct ProfileStoreTests {
    @Test func decodesTheName() async throws {
        let store = try #require(ProfileStore.preview as ProfileStore?)
        #expect(store.profile == nil)
    }
}

func retry(_ attempts: Int) {
    // Retry while the server is busy.
    for attempt in 1...attempts where attempt > 1 {
        if let cached = cache[attempt] {
            print(cached)
        } else if attempt > 3 {
            logger.warning("Still busy after \(attempt) attempts")
        }
    }
    while let next = iterator.next() {
        switch next.state {
        case .loading:
            continue
        default:
            break
        }
    }
    let names = users.map { $0.name }
    let request = URLRequest(url: baseURL)
}

typealias Completion = (Result<Profile, Error>) -> Void
let formatter = ISO8601DateFormatter()
let sorted = profiles.sorted { $0.name < $1.name }
print(profile.name)
assert(profile.age >= 0, "age must not be negative")
return nil
}
