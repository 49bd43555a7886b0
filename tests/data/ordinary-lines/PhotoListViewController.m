//
//  PhotoListViewController.m
//  Shows the photos of an album and loads their thumbnails lazily.
//

#import "PhotoListViewController.h"
#import "PhotoCell.h"
#import <UIKit/UIKit.h>
#import <Photos/Photos.h>

static NSString * const kCellIdentifier = @"PhotoCell";

typedef NS_ENUM(NSInteger, PhotoFilter) {
    PhotoFilterNone,
    PhotoFilterMono,
};

@protocol PhotoPickerDelegate <NSObject>
- (void)didFinish;
@end

@interface PhotoListViewController () <UITableViewDataSource, UITableViewDelegate>
@property (nonatomic, strong) NSArray<PHAsset *> *assets;
@property (nonatomic, weak) IBOutlet UITableView *tableView;
@property (nonatomic, weak) id<PhotoPickerDelegate> delegate;
@property (nonatomic, assign) BOOL isLoading;
@property (nonatomic, copy) NSString *albumTitle;
- (void)reloadTable;
+ (instancetype)sharedManager;

- (IBAction)didTapSave:(id)sender {
    if ([self.delegate respondsToSelector:@selector(didFinish)]) {
        [self.delegate didFinish];
    } else if (self.isLoading) {
        return;
    } else {
        NSLog(@"%@", self.assets);
    }
    for (PHAsset *asset in self.assets) {
        [self.cache removeObjectForKey:asset.localIdentifier];
    }
    switch (self.assets.count) {
        case 0:
            break;
    }
    @try {
        [self reloadTable];
    } @catch (NSException *exception) {
        NSLog(@"%@", exception.reason);
    }
    static dispatch_once_t onceToken;
}

@end

@implementation PhotoListViewController {
    NSCache<NSString *, UIImage *> *_cache;
}

- (instancetype)initWithAlbum:(PHAssetCollection *)album {
    self = [super initWithNibName:nil bundle:nil];
    if (self) {
        _album = album;
    }
    return self;
}

- (void)viewDidLoad {
    [super viewDidLoad];
    self.title = self.albumTitle;
    [self.tableView registerClass:[PhotoCell class] forCellReuseIdentifier:kCellIdentifier];
    [self reloadAssets];
}

#pragma mark - Loading

- (void)reloadAssets {
    self.isLoading = YES;
    PHFetchOptions *options = [[PHFetchOptions alloc] init];
    options.sortDescriptors = @[[NSSortDescriptor sortDescriptorWithKey:@"creationDate" ascending:NO]];
    __weak typeof(self) weakSelf = self;
    dispatch_async(dispatch_get_global_queue(QOS_CLASS_USER_INITIATED, 0), ^{
        PHFetchResult *result = [PHAsset fetchAssetsInAssetCollection:weakSelf.album options:options];
        NSLog(@"Fetched %lu assets", (unsigned long)result.count);
    });
}

// Returns nil while the thumbnail is still loading.
- (nullable UIImage *)thumbnailForAsset:(PHAsset *)asset {
    return [self.cache objectForKey:asset.localIdentifier];
}

#pragma mark - UITableViewDataSource

- (NSInteger)tableView:(UITableView *)tableView numberOfRowsInSection:(NSInteger)section {
    return self.assets.count;
}

- (void)dealloc {
    [[NSNotificationCenter defaultCenter] removeObserver:self];
}

@end
